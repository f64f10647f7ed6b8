// Writes a book archive: entries first, then the directory, configuration document and settings
// sections, then the header; bare, or appended to a copy of an executable with the trailer.
// The book appears under its name only when it is complete (temporary file, then rename).
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>

#include "archive/compressor.h"
#include "archive/file_system.h"
#include "archive/format.h"

namespace lectern {

struct ZpkWriterOptions {
  uint32_t format_version = kCurrentFormatVersion;
  // All zero means: make a random one.
  BookIdentity identity{};
  int compress_level = LzoCompressor::kLevelBest;
  uint32_t compressor_id = kCompressorDefault;
};

// A fresh random book identity.
BookIdentity RandomBookIdentity();

class ZpkWriter {
 public:
  ZpkWriter() = default;
  ~ZpkWriter();
  ZpkWriter(const ZpkWriter&) = delete;
  ZpkWriter& operator=(const ZpkWriter&) = delete;

  // Starts a book that will become `target_path`. With a `stub_path`, the book is that file's bytes
  // with the archive appended (a self-contained book); without, a bare archive.
  bool Begin(const std::string& target_path, const std::string& stub_path, const ZpkWriterOptions& options);
  // Paths are archive paths ('/' or '\' between components); folders on the way are made.
  bool AddDirectory(std::string_view archive_path);
  // An ordinary entry: compressed (and masked where the format version asks for it).
  bool AddFile(std::string_view archive_path, std::span<const uint8_t> content);
  // A media file read in place by the reader: an empty ordinary entry plus the raw companion
  // holding the file's bytes, copied from `source_path` in chunks.
  bool AddRawFile(std::string_view archive_path, const std::string& source_path);
  void SetConfigDocument(std::string xml_text) { config_document_ = std::move(xml_text); }
  // Refuses empty keys and values: they would shift every later pair on reading.
  bool SetSettings(const std::map<std::string, std::string>& settings);
  // Writes the sections, header and trailer and moves the book into place.
  bool Finish();
  // Drops the unfinished book.
  void Abort();

  const std::string& error() const { return error_; }
  const BookIdentity& identity() const { return options_.identity; }
  // The book's final name and the unfinished file behind it (empty unless begun): the two files
  // a packer must never take into the book, should they lie in the tree it packs.
  const std::string& target_path() const { return target_path_; }
  const std::string& temp_path() const { return temp_path_; }

 private:
  bool Fail(std::string message);
  bool Write(const void* data, size_t size);
  bool WriteSection(std::string body, bool with_length);
  // The directory node that will hold `archive_path`'s last component; `name` receives it.
  FsNode* PrepareParent(std::string_view archive_path, std::string& name);
  bool AddEntryRecord(std::string_view archive_path, uint32_t content_size, std::span<const uint8_t> stored);

  ZpkWriterOptions options_;
  std::string target_path_;
  std::string temp_path_;
  bool executable_ = false;
  int fd_ = -1;
  uint64_t position_ = 0;
  uint64_t base_ = 0;
  FileSystem tree_;
  CompressorPtr compressor_;
  std::string config_document_;
  std::string settings_text_;
  std::string error_;
};

}  // namespace lectern
