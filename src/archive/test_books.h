// Books made on disk for tests of everything that reads them.
#pragma once

#include <map>
#include <string>
#include <vector>

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

// A bare version-12 archive put together byte by byte, so that its directory and records can hold
// what the writer refuses to make. File(name, i) is a record for the i-th entry added.
class HandMadeBook {
 public:
  // Entries with `contents`, compressed and masked as the format says.
  explicit HandMadeBook(const std::vector<std::string>& contents = {});
  // An entry of raw record bytes: the two sizes as given, then `stored` as it is. Its index.
  size_t AddRecord(uint32_t content_size, uint32_t stored_size, const std::string& stored);
  // The LZO stream of `content` (masked), as an ordinary entry stores it.
  static std::string Compress(std::string content);

  std::string File(const std::string& name, size_t entry) const;
  static std::string Folder(const std::string& name);
  static std::string Leave();
  // The whole book: entries, then the directory of `records` (an end record added), enciphered.
  std::string Finish(std::string records) const;

 private:
  std::string bytes_;
  std::vector<uint32_t> offsets_;
};

}  // namespace lectern::testing
