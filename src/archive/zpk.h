// An open book archive: found through the trailer at the end of its file (or at offset 0 for a
// bare archive), with its header, directory, settings and configuration document, and reads of
// its entries.
//
// Entry reads use positioned reads on the book file and lookups touch no shared state, so several
// threads may read entries of one open archive at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_error.h"
#include "archive/file_view.h"
#include "archive/compressor.h"
#include "archive/file_system.h"
#include "archive/format.h"
#include "book/zpk_conf.h"

namespace lectern {

namespace AdvXMLParser {
class Document;
}

// Values of the most recent successful header read, for readers that have no archive at hand.
int32_t ProcessFormatVersion();
BookIdentity ProcessBookIdentity();

// True when the last 6 bytes of the file begin with the trailer mark (the magic is not checked).
bool HasArchiveTrailer(std::string_view path);

class ZPK {
 public:
  enum Section { kDirectorySection = 0, kConfigDocumentSection = 1, kSettingsSection = 2, kIndirectionSection = 3 };

  ZPK();
  virtual ~ZPK();
  ZPK(const ZPK&) = delete;
  ZPK& operator=(const ZPK&) = delete;

  // Opens the book and loads its directory whole. False with open_error() naming what is wrong when
  // the file is not an archive or its header or directory is damaged; a settings or configuration
  // section that can't be read leaves its part empty and the open goes on.
  bool Open(std::string_view path);
  // Why the last Open failed; empty after a successful one.
  const ArchiveError& open_error() const { return open_error_; }
  bool IsOpen() const { return state_ != -1; }
  void Close();
  int GetFileHandle() const { return file_; }

  // With a null `buffer`, a size query: `size` receives the content size. With a buffer, `size` is
  // its capacity on entry and the content length on return. A directory path succeeds without
  // touching `size`.
  bool ReadEntry(std::string_view path, void* buffer, uint32_t& size);
  // The raw companion ("path:") of a file: the absolute offset of its stored bytes and its size.
  bool LocateEntry(std::string_view path, uint32_t& offset, uint32_t& size);
  // Convenience over ReadEntry: the whole content of a file entry.
  bool ReadWholeEntry(std::string_view path, std::vector<uint8_t>& content);

  // Section readers; `position` -1 reads where the file now stands. 1 (or a count) or -1.
  int32_t ReadSettings(int64_t position);
  int32_t ReadConfigDocument(int64_t position);

  uint32_t format_version() const { return format_version_; }
  const BookIdentity& identity() const { return identity_; }
  uint32_t compressor_id() const { return compressor_id_; }
  uint32_t archive_base() const { return archive_base_; }
  uint32_t section_offset(Section s) const { return section_offsets_[s]; }
  int64_t file_size() const { return file_size_; }
  const FileSystem& directory() const { return directory_; }
  FileSystem& directory() { return directory_; }
  const ZPKConf& settings() const { return settings_; }
  // The configuration document's XML text, empty when the book has none.
  const std::string& config_document_text() const { return config_document_text_; }
  // The parsed configuration document; null when the book has none or its text is not XML.
  const AdvXMLParser::Document* config_document() const { return config_document_.get(); }

 protected:
  // Called after the header, before the sections; false stops the open.
  virtual bool OnHeaderRead() { return true; }

  // Positioned reads on the book file: false unless exactly `size` bytes arrive.
  bool ReadAt(int64_t position, void* buffer, size_t size) const;
  // The body of an enciphered section (version 10+) at the file position: u32 length L, L bytes
  // deciphered. Below 10 the body is stored as it is.
  bool ReadSectionBody(int64_t position, std::vector<uint8_t>& body) const;
  int64_t ResolvePosition(int64_t position) const;

  // The file's current position, as the reads of the open leave it.
  int64_t position_ = 0;

 private:
  bool ReadHeader();
  // Records why the open fails; always false.
  bool Refuse(int64_t offset, std::string description);
  bool LoadDirectory(int64_t position);
  // Reads and checks the entry record at `data_offset`.
  bool ReadRecordHeader(uint32_t data_offset, uint32_t& content_size, uint32_t& stored_size) const;
  // Decodes the stored bytes at `position` into exactly `content_size` bytes of `out`, unmasked.
  bool DecodeEntry(int64_t position, uint32_t stored_size, uint8_t* out, uint32_t content_size) const;

  CompressorPtr compressor_;
  uint32_t compressor_id_ = 0;
  int32_t state_ = -1;
  uint32_t format_version_ = 0;
  int file_ = -1;
  int64_t file_size_ = 0;
  FileView view_;
  uint32_t section_offsets_[4] = {0, 0, 0, 0};
  FileSystem directory_;
  ZPKConf settings_;
  std::string config_document_text_;
  std::unique_ptr<AdvXMLParser::Document> config_document_;
  uint32_t archive_base_ = 0;
  BookIdentity identity_{};
  ArchiveError open_error_;
};

}  // namespace lectern
