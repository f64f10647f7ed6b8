// Books made on disk for tests of everything that reads them.
#pragma once

#include <map>
#include <string>

#include "archive/zpk_writer.h"

namespace lectern::testing {

struct TestBook {
  // Archive path -> content. A path ending in '/' makes an empty folder.
  std::map<std::string, std::string> files;
  // Archive paths stored as raw companions (content taken from `files`).
  std::map<std::string, bool> raw;
  std::map<std::string, std::string> settings;
  std::string config_document;
  ZpkWriterOptions options;
  // An executable to append the archive to; empty for a bare archive.
  std::string stub_path;
};

// Writes `book` to `path`; on failure returns false and, when given, the writer's message.
bool WriteTestBook(const std::string& path, const TestBook& book, std::string* error = nullptr);

}  // namespace lectern::testing
