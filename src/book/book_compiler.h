// The book compiler: a project file and its book folder become one book, bare or appended to the
// reader's executable, with the project's settings and contents tree in the book's own sections.
#pragma once

#include <map>
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
  // The identity (all zeros: a random one) and the level; the project's compress_option, when it
  // has one, decides the level instead.
  ZpkWriterOptions writer;
};

struct CompileResult {
  bool ok = false;
  // One line: the project element or file at fault, then what is wrong.
  std::string error;
  std::string book_path;
  PackFolderResult packed;
  // The settings the book carries; for a project without a `guid`, that setting is the archive
  // identity, and `guid_from_identity` says so.
  std::map<std::string, std::string> settings;
  bool guid_from_identity = false;
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
// included, each looked up as the reader will: letter case ignored) and writes the book; on any
// fault nothing is written. A book written into its own book folder leaves itself out.
CompileResult CompileProject(const Project& project, const CompileOptions& options);

}  // namespace lectern
