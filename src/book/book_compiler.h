// The book compiler: a project file and its book folder become one book, bare or appended to the
// reader's executable, with the project's settings and contents tree in the book's own sections.
#pragma once

#include <string>

#include "archive/pack_folder.h"
#include "archive/zpk_writer.h"
#include "book/project.h"

namespace lectern {

struct CompileOptions {
  // Overrides the project's target_directory and ebk_filename when set.
  std::string output_path;
  // The reader executable a self-contained book is appended to; required when the project asks
  // for self_executable (or when `force_executable` is set).
  std::string reader_executable;
  bool force_executable = false;
  PackFolderOptions pack;
  ZpkWriterOptions writer;  // compress_level and identity are taken from the project
};

struct CompileResult {
  bool ok = false;
  // One line: the project element or file at fault, then what is wrong.
  std::string error;
  std::string book_path;
  PackFolderResult packed;
};

// Where the project says its book goes: target_directory (relative to the project's folder) and
// ebk_filename, else the project's own name beside it (".ebk" for a bare book, no extension for
// a self-contained one).
std::string ProjectBookPath(const Project& project, bool executable);

// Whether the project asks for a book appended to the reader ("yes" or "true").
bool ProjectWantsExecutable(const Project& project);

// The configuration document a compiled book carries: the project's contents tree under a root.
std::string CompiledConfigDocument(const Project& project);

// Checks the project (its folder and every book file it names, the contents tree's pages
// included) and writes the book; on any fault nothing is written.
CompileResult CompileProject(const Project& project, const CompileOptions& options);

}  // namespace lectern
