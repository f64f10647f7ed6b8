// Packs a folder tree on disk into a book being written: every file and folder (empty ones too),
// in name order so that the same tree and identity always give the same book bytes. Media files
// that the reader streams in place are stored raw; everything else is compressed.
//
// Symbolic links are never followed out of the tree: a link to a file inside the tree is packed as
// that file, any other link (outside, dangling, or to a folder, which could loop) is refused.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "archive/zpk_writer.h"

namespace lectern {

// Common audio and video extensions, lower case, with the dot.
std::set<std::string> DefaultRawExtensions();

// ".a,.b" (the dots optional, spaces around items ignored) into lower-case extensions with the dot.
// An empty list is an empty set; an empty item or one holding a '/' fails with `error` set.
bool ParseRawExtensions(std::string_view list, std::set<std::string>& extensions, std::string& error);

// Whether `file_name`'s extension (after its last dot, ASCII case ignored) is in `extensions`.
bool HasRawExtension(std::string_view file_name, const std::set<std::string>& extensions);

struct PackFolderOptions {
  std::set<std::string> raw_extensions = DefaultRawExtensions();
};

struct PackFolderResult {
  bool ok = false;
  // One line naming the file or folder at fault on disk, then what is wrong with it.
  std::string error;
  size_t files = 0;
  size_t raw_files = 0;
  size_t folders = 0;
  uint64_t content_bytes = 0;
};

// Adds the contents of `folder` (not the folder itself) to `writer`, which must have been begun.
// Archive paths are relative to `folder` with '/' between components. The book being written and
// its unfinished file are left out when they lie in the tree, so a book may be written into the
// folder it packs without swallowing itself or its previous edition. On failure the writer has
// been aborted (the unfinished book is gone) and `error` says why.
PackFolderResult PackFolder(const std::string& folder, ZpkWriter& writer, const PackFolderOptions& options = {});

// The file on disk that a book packed from `folder` answers for `book_path`, found as the book looks
// names up: ASCII letter case ignored, '/' and '\\' both separating, "." components skipped. The
// exact spelling is tried first. "" when there is no such regular file (a ".." component never
// matches: it would leave the book).
std::string FindFileIgnoringCase(const std::string& folder, std::string_view book_path);

}  // namespace lectern
