#include "archive/zpk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "archive/current_entry_guard.h"
#include "archive/directory_section.h"
#include "archive/section_cipher.h"
#include "book/xml/parse_xml.h"

namespace lectern {
namespace {

std::mutex g_process_mutex;
int32_t g_process_version = 0;
BookIdentity g_process_identity{};

bool IsMagic(const uint8_t m[4]) {
  auto fold = [](uint8_t c) { return (c >= 'a' && c <= 'z') ? uint8_t(c - 'a' + 'A') : c; };
  return fold(m[0]) == 'Z' && fold(m[1]) == 'P' && fold(m[2]) == 'K' && m[3] == 0;
}

}  // namespace

int32_t ProcessFormatVersion() {
  std::lock_guard lock(g_process_mutex);
  return g_process_version;
}

BookIdentity ProcessBookIdentity() {
  std::lock_guard lock(g_process_mutex);
  return g_process_identity;
}

bool HasArchiveTrailer(std::string_view path) {
  if (path.empty()) return false;
  int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  uint8_t mark[2];
  bool has = ::lseek(fd, -int64_t(kTrailerSize), SEEK_END) >= 0 && ::read(fd, mark, 2) == 2 &&
             uint16_t(mark[0] | mark[1] << 8) == kTrailerMark;
  ::close(fd);
  return has;
}

ZPK::ZPK() = default;

ZPK::~ZPK() {
  if (state_ != -1 || file_ >= 0) Close();
}

void ZPK::Close() {
  compressor_.reset();
  view_.Close();
  if (file_ >= 0) ::close(file_);
  file_ = -1;
  state_ = -1;
}

bool ZPK::ReadAt(int64_t position, void* buffer, size_t size) const {
  if (file_ < 0 || position < 0) return false;
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(file_, out + done, size - done, position + int64_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

int64_t ZPK::ResolvePosition(int64_t position) const { return position == -1 ? position_ : position; }

bool ZPK::ReadSectionBody(int64_t position, std::vector<uint8_t>& body) const {
  uint8_t length_bytes[4];
  if (!ReadAt(position, length_bytes, 4)) return false;
  uint32_t length = LoadU32(length_bytes);
  // Checked against the file before allocating, so a hostile length costs nothing.
  if (int64_t(length) > file_size_ - position - 4) return false;
  body.resize(length);
  if (!ReadAt(position + 4, body.data(), length)) return false;
  if (int32_t(format_version_) >= kEncipheredSectionsVersion) ApplySectionCipher(identity_, body.data(), body.size());
  return true;
}

bool ZPK::Refuse(int64_t offset, std::string description) {
  open_error_ = {offset, std::move(description)};
  return false;
}

bool ZPK::Open(std::string_view path) {
  open_error_ = {};
  if (path.empty()) return Refuse(-1, "no file named");
  if (file_ >= 0 || state_ != -1) Close();
  file_ = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (file_ < 0) return Refuse(-1, std::string("the file cannot be opened: ") + std::strerror(errno));
  if (!ReadHeader()) {
    Close();
    return false;
  }
  view_.Open(file_, file_size_);
  state_ = 1;
  return true;
}

bool ZPK::ReadHeader() {
  file_size_ = ::lseek(file_, 0, SEEK_END);
  std::string file_length = Concat({"(", GroupedNumber(uint64_t(std::max<int64_t>(file_size_, 0))), " bytes)"});
  if (file_size_ < kMinimumArchiveFileSize || file_size_ < int64_t(kHeaderSize))
    return Refuse(0, Concat({"the file is too short to hold a book ", file_length}));
  int64_t trailer = file_size_ - int64_t(kTrailerSize);
  uint8_t tail[kTrailerSize];
  archive_base_ = 0;
  if (ReadAt(trailer, tail, kTrailerSize) && uint16_t(tail[0] | tail[1] << 8) == kTrailerMark) {
    archive_base_ = LoadU32(tail + 2);
  }
  if (int64_t(archive_base_) + int64_t(kHeaderSize) > file_size_)
    return Refuse(trailer, Concat({"the archive at offset ", GroupedNumber(archive_base_),
                                   " lies past the end of the file ", file_length}));

  uint8_t header[kHeaderSize];
  if (!ReadAt(archive_base_, header, kHeaderSize))
    return Refuse(archive_base_, Concat({"the archive header cannot be read: ", std::strerror(errno)}));
  position_ = int64_t(archive_base_) + kHeaderSize;
  if (!IsMagic(header))
    return Refuse(archive_base_, Concat({"no archive header at offset ", GroupedNumber(archive_base_)}));
  format_version_ = LoadU32(header + 4);
  std::memcpy(identity_.data(), header + 8, identity_.size());
  {
    std::lock_guard lock(g_process_mutex);
    g_process_version = int32_t(format_version_);
    g_process_identity = identity_;
  }
  compressor_id_ = LoadU32(header + 24);
  compressor_ = CreateCompressor(compressor_id_);
  if (!compressor_)
    return Refuse(archive_base_ + 24, Concat({"the compressor ", std::to_string(compressor_id_), " is unknown"}));
  for (int i = 0; i < 4; ++i) section_offsets_[i] = LoadU32(header + 28 + 4 * i);
  if (section_offsets_[kDirectorySection] < kMinimumSectionOffset)
    return Refuse(archive_base_ + 28, Concat({"the directory offset ", GroupedNumber(section_offsets_[kDirectorySection]),
                                              " lies inside the header"}));
  if (!OnHeaderRead()) return Refuse(archive_base_, "the book refused its header");

  directory_.Reset();
  settings_.map().clear();
  config_document_text_.clear();
  config_document_.reset();
  // Without its whole directory the book would open with files silently missing.
  if (!LoadDirectory(section_offsets_[kDirectorySection])) return false;
  // A bad settings or configuration section leaves its part empty; books rely on opening anyway.
  if (uint32_t at = section_offsets_[kConfigDocumentSection]) ReadConfigDocument(at);
  if (uint32_t at = section_offsets_[kSettingsSection]) ReadSettings(at);
  // The indirection section has no readers: books that need it can't resolve such entries and
  // those reads fail.
  return true;
}

bool ZPK::LoadDirectory(int64_t position) {
  std::string where = Concat({"the directory at offset ", GroupedNumber(uint64_t(position))});
  std::string file_length = Concat({"(", GroupedNumber(uint64_t(file_size_)), " bytes)"});
  if (position + 4 > file_size_)
    return Refuse(position, Concat({where, " lies past the end of the file ", file_length}));
  uint8_t length_bytes[4];
  if (!ReadAt(position, length_bytes, 4)) return Refuse(position, Concat({where, " cannot be read"}));
  uint32_t length = LoadU32(length_bytes);
  if (int64_t(length) > file_size_ - position - 4)
    return Refuse(position, Concat({where, " declares ", GroupedNumber(length), " bytes, past the end of the file ",
                                    file_length}));
  std::vector<uint8_t> body;
  if (!ReadSectionBody(position, body)) return Refuse(position, Concat({where, " cannot be read"}));
  position_ = position + 4 + int64_t(body.size());
  ArchiveError error;
  if (!LoadDirectoryRecords(body, directory_, &error)) {
    int64_t at = position + 4 + error.offset;
    return Refuse(at, Concat({error.description, " at offset ", GroupedNumber(uint64_t(at))}));
  }
  return true;
}

int32_t ZPK::ReadSettings(int64_t position) {
  if (section_offsets_[kSettingsSection] == 0 || file_ < 0 || !compressor_) return -1;
  position = ResolvePosition(position);
  uint32_t text_length = 0;
  std::vector<uint8_t> stored;
  if (int32_t(format_version_) < kEncipheredSectionsVersion) {
    uint8_t lengths[8];
    if (!ReadAt(position, lengths, 8)) return -1;
    text_length = LoadU32(lengths);
    uint32_t stored_length = LoadU32(lengths + 4);
    if (int32_t(text_length) <= 0 || int32_t(stored_length) <= 0) return -1;
    if (int64_t(stored_length) > file_size_ - position - 8) return -1;
    stored.resize(stored_length);
    if (!ReadAt(position + 8, stored.data(), stored.size())) return -1;
  } else {
    std::vector<uint8_t> body;
    if (!ReadSectionBody(position, body) || body.size() < 8) return -1;
    text_length = LoadU32(body.data());
    uint32_t stored_length = LoadU32(body.data() + 4);
    if (stored_length > body.size() - 8) return -1;
    stored.assign(body.begin() + 8, body.begin() + 8 + stored_length);
  }
  if (text_length > MaxLzoExpansion(stored.size())) return -1;
  std::vector<uint8_t> text(size_t(text_length) + 2, 0);
  uint32_t produced = text_length;
  // A damaged stream leaves whatever it decoded; the bounded decompressor keeps that safe.
  compressor_->Decompress(text.data(), &produced, stored.data(), uint32_t(stored.size()));
  const char* chars = reinterpret_cast<const char*>(text.data());
  return settings_.Load(std::string_view(chars, ::strnlen(chars, text_length)));
}

int32_t ZPK::ReadConfigDocument(int64_t position) {
  if (file_ < 0) return -1;
  position = ResolvePosition(position);
  config_document_text_.clear();
  config_document_.reset();
  std::vector<uint8_t> body;
  if (!ReadSectionBody(position, body) || body.empty()) return -1;
  size_t skip = int32_t(format_version_) >= kEncipheredSectionsVersion ? 4 : 0;
  if (body.size() < skip) return -1;
  const char* chars = reinterpret_cast<const char*>(body.data()) + skip;
  config_document_text_.assign(chars, ::strnlen(chars, body.size() - skip));
  // A document that is not XML leaves the book without one; the open goes on.
  XmlParseResult parsed = ParseXml(config_document_text_);
  if (!parsed.ok()) return -1;
  config_document_ = std::move(parsed.document);
  return 1;
}

bool ZPK::ReadRecordHeader(uint32_t data_offset, uint32_t& content_size, uint32_t& stored_size) const {
  if (data_offset & kIndirectOffsetBit) return false;
  bool read = view_.Use(data_offset, kEntryRecordHeaderSize, [&](const uint8_t* record) {
    content_size = LoadU32(record);
    stored_size = LoadU32(record + 4);
    return true;
  });
  return read && int64_t(stored_size) <= file_size_ - int64_t(data_offset) - int64_t(kEntryRecordHeaderSize);
}

bool ZPK::ReadEntry(std::string_view path, void* buffer, uint32_t& size) {
  if (path.empty() || !IsOpen() || !compressor_) return false;
  CurrentEntryGuard guard(path);
  if (!guard.entered()) return false;
  const FsNode* node = directory_.Find(path, NodeKind::kFile);
  if (!node) return directory_.Find(path, NodeKind::kDirectory) != nullptr;
  // "/", "\" and "." name folders whatever kind was asked for; they have no record to read.
  if (node->is_directory()) return true;

  uint32_t content_size = 0, stored_size = 0;
  if (!ReadRecordHeader(node->data_offset, content_size, stored_size)) return false;
  // No LZO stream of the stored size can produce more: refuse before anyone allocates for it.
  if (content_size > MaxLzoExpansion(stored_size)) return false;
  if (!buffer) {
    size = content_size;
    return true;
  }
  if (size < content_size) return false;
  if (!DecodeEntry(int64_t(node->data_offset) + kEntryRecordHeaderSize, stored_size, static_cast<uint8_t*>(buffer),
                   content_size))
    return false;
  size = content_size;
  return true;
}

bool ZPK::DecodeEntry(int64_t position, uint32_t stored_size, uint8_t* out, uint32_t content_size) const {
  const bool masked = int32_t(format_version_) >= kMaskedEntriesVersion;
  return view_.Use(position, stored_size, [&](const uint8_t* stored) {
    // The room given is the declared size, so a stream that would make more fails as an overrun
    // and one that makes less is caught below: either way the entry is damaged.
    uint32_t produced = content_size;
    if (compressor_->Decompress(out, &produced, stored, stored_size) < 0 || produced != content_size) return false;
    // Masked while the output is still in the cache the decoder just wrote it to.
    if (masked) ApplyEntryMask(out, produced);
    return true;
  });
}

bool ZPK::LocateEntry(std::string_view path, uint32_t& offset, uint32_t& size) {
  offset = 0;
  size = 0;
  if (path.empty() || !IsOpen()) return false;
  std::string companion(path);
  companion += kRawCompanionSuffix;
  CurrentEntryGuard guard(companion);
  if (!guard.entered()) return false;
  const FsNode* node = directory_.Find(companion, NodeKind::kFile);
  if (!node) return directory_.Find(companion, NodeKind::kDirectory) != nullptr;
  uint32_t content_size = 0, stored_size = 0;
  if (!ReadRecordHeader(node->data_offset, content_size, stored_size)) return false;
  // Raw bytes are read in place, so they must lie inside the file.
  if (content_size > stored_size) return false;
  offset = node->data_offset + kEntryRecordHeaderSize;
  size = content_size;
  return true;
}

bool ZPK::ReadWholeEntry(std::string_view path, std::vector<uint8_t>& content) {
  content.clear();
  uint32_t size = 0;
  if (!ReadEntry(path, nullptr, size)) return false;
  const FsNode* node = directory_.Find(path, NodeKind::kFile);
  if (!node || node->is_directory()) return false;
  content.resize(size);
  if (size == 0) return true;
  if (!ReadEntry(path, content.data(), size)) {
    content.clear();
    return false;
  }
  content.resize(size);
  return true;
}

}  // namespace lectern
