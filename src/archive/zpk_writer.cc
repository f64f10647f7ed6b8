#include "archive/zpk_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "archive/directory_section.h"
#include "archive/section_cipher.h"
#include "book/zpk_conf.h"

namespace lectern {
namespace {

constexpr size_t kCopyChunk = 1 << 20;
// Data offsets with bit 31 set mean something else, so every record must start below it.
constexpr uint64_t kMaxDataOffset = kIndirectOffsetBit - 1;

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

std::string ErrnoText() { return std::strerror(errno); }

std::string U32Bytes(uint32_t v) {
  uint8_t b[4];
  StoreU32(b, v);
  return std::string(reinterpret_cast<const char*>(b), 4);
}

}  // namespace

BookIdentity RandomBookIdentity() {
  std::random_device device;
  BookIdentity id;
  for (auto& b : id) b = uint8_t(device());
  return id;
}

ZpkWriter::~ZpkWriter() { Abort(); }

bool ZpkWriter::Fail(std::string message) {
  if (error_.empty()) error_ = std::move(message);
  Abort();
  return false;
}

void ZpkWriter::Abort() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_path_.empty()) ::unlink(temp_path_.c_str());
  temp_path_.clear();
}

bool ZpkWriter::Write(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail("cannot write " + temp_path_ + ": " + ErrnoText());
    p += n;
    size -= size_t(n);
    position_ += uint64_t(n);
  }
  return true;
}

bool ZpkWriter::Begin(const std::string& target_path, const std::string& stub_path, const ZpkWriterOptions& options) {
  Abort();
  error_.clear();
  options_ = options;
  if (options_.identity == BookIdentity{}) options_.identity = RandomBookIdentity();
  compressor_ = CreateCompressor(options_.compressor_id);
  if (!compressor_) return Fail("unknown compressor id");
  tree_.Reset();
  target_path_ = target_path;
  temp_path_ = target_path + ".tmp-XXXXXX";
  fd_ = ::mkstemp(temp_path_.data());
  if (fd_ < 0) {
    temp_path_.clear();
    return Fail("cannot create " + target_path + ": " + ErrnoText());
  }
  position_ = 0;
  executable_ = !stub_path.empty();
  if (executable_) {
    int stub = ::open(stub_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (stub < 0) return Fail("cannot open " + stub_path + ": " + ErrnoText());
    std::vector<uint8_t> chunk(kCopyChunk);
    for (;;) {
      ssize_t n = ::read(stub, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        ::close(stub);
        return Fail("cannot read " + stub_path + ": " + ErrnoText());
      }
      if (n == 0) break;
      if (!Write(chunk.data(), size_t(n))) {
        ::close(stub);
        return false;
      }
    }
    ::close(stub);
  }
  base_ = position_;
  uint8_t header[kHeaderSize] = {};  // filled in by Finish
  return Write(header, sizeof header);
}

FsNode* ZpkWriter::PrepareParent(std::string_view archive_path, std::string& name) {
  std::vector<std::string_view> parts;
  size_t i = 0;
  while (i < archive_path.size()) {
    while (i < archive_path.size() && IsSeparator(archive_path[i])) ++i;
    size_t start = i;
    while (i < archive_path.size() && !IsSeparator(archive_path[i])) ++i;
    if (i > start) parts.push_back(archive_path.substr(start, i - start));
  }
  if (parts.empty()) return Fail("empty archive path"), nullptr;
  for (std::string_view part : parts) {
    if (part == "." || part == ".." || part.find('\0') != std::string_view::npos)
      return Fail("unusable name in archive path: " + std::string(archive_path)), nullptr;
  }
  tree_.ChangeDir("/");
  for (size_t k = 0; k + 1 < parts.size(); ++k) {
    if (!tree_.Add(parts[k], 0, NodeKind::kDirectory, true) || !tree_.ChangeDir(parts[k]))
      return Fail("cannot make folder " + std::string(parts[k])), nullptr;
  }
  name = std::string(parts.back());
  return tree_.current();
}

bool ZpkWriter::AddDirectory(std::string_view archive_path) {
  if (fd_ < 0) return Fail("no book begun");
  std::string name;
  if (!PrepareParent(archive_path, name)) return false;
  if (!tree_.Add(name, 0, NodeKind::kDirectory, true)) return Fail("cannot make folder " + name);
  return true;
}

bool ZpkWriter::AddEntryRecord(std::string_view archive_path, uint32_t content_size, std::span<const uint8_t> stored) {
  std::string name;
  FsNode* parent = PrepareParent(archive_path, name);
  if (!parent) return false;
  uint8_t first = uint8_t(name[0]);
  if (first == kRecordEnd || first == kRecordDirectory || first == kRecordLeave)
    return Fail("a file name can't start with byte " + std::to_string(first) + ": " + std::string(archive_path));
  if (parent->FindChild(name, NodeKind::kFile))
    return Fail("two files with one name (letter case is ignored): " + std::string(archive_path));
  if (position_ > kMaxDataOffset || stored.size() > kMaxDataOffset - position_)
    return Fail("the book would exceed 2 GiB");
  uint32_t data_offset = uint32_t(position_);
  std::string record = U32Bytes(content_size) + U32Bytes(uint32_t(stored.size()));
  if (!Write(record.data(), record.size()) || !Write(stored.data(), stored.size())) return false;
  tree_.Add(name, data_offset, NodeKind::kFile, true);
  return true;
}

bool ZpkWriter::AddFile(std::string_view archive_path, std::span<const uint8_t> content) {
  if (fd_ < 0) return Fail("no book begun");
  if (!archive_path.empty() && archive_path.back() == kRawCompanionSuffix)
    return Fail("a file name can't end with ':': " + std::string(archive_path));
  if (content.size() > kMaxDataOffset) return Fail("file too large: " + std::string(archive_path));
  std::vector<uint8_t> masked(content.begin(), content.end());
  if (int32_t(options_.format_version) >= kMaskedEntriesVersion) {
    ApplyEntryMask(masked.data(), masked.size());
  }
  std::vector<uint8_t> stored(LzoCompressBound(uint32_t(masked.size())));
  uint32_t stored_size = uint32_t(stored.size());
  if (compressor_->Compress(stored.data(), &stored_size, masked.data(), uint32_t(masked.size()),
                            options_.compress_level) != 0)
    return Fail("cannot compress " + std::string(archive_path));
  return AddEntryRecord(archive_path, uint32_t(content.size()), std::span(stored.data(), stored_size));
}

bool ZpkWriter::AddRawFile(std::string_view archive_path, const std::string& source_path) {
  if (fd_ < 0) return Fail("no book begun");
  int source = ::open(source_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return Fail("cannot open " + source_path + ": " + ErrnoText());
  struct stat st;
  if (::fstat(source, &st) != 0 || uint64_t(st.st_size) > kMaxDataOffset) {
    ::close(source);
    return Fail("cannot take " + source_path + " (unreadable or too large)");
  }
  // The ordinary entry stays empty, which tells the reader to stream the companion instead.
  if (!AddFile(archive_path, {})) {
    ::close(source);
    return false;
  }
  std::string companion = std::string(archive_path) + kRawCompanionSuffix;
  std::string name;
  FsNode* parent = PrepareParent(companion, name);
  uint64_t size = uint64_t(st.st_size);
  if (!parent || position_ > kMaxDataOffset || size > kMaxDataOffset - position_) {
    ::close(source);
    return Fail("the book would exceed 2 GiB");
  }
  uint32_t data_offset = uint32_t(position_);
  std::string record = U32Bytes(uint32_t(size)) + U32Bytes(uint32_t(size));
  if (!Write(record.data(), record.size())) {
    ::close(source);
    return false;
  }
  std::vector<uint8_t> chunk(kCopyChunk);
  uint64_t copied = 0;
  while (copied < size) {
    ssize_t n = ::read(source, chunk.data(), std::min<uint64_t>(chunk.size(), size - copied));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(source);
      return Fail("cannot read " + source_path);
    }
    ApplyEntryMask(chunk.data(), size_t(n));
    if (!Write(chunk.data(), size_t(n))) {
      ::close(source);
      return false;
    }
    copied += uint64_t(n);
  }
  ::close(source);
  tree_.Add(name, data_offset, NodeKind::kFile, true);
  return true;
}

bool ZpkWriter::SetSettings(const std::map<std::string, std::string>& settings) {
  if (!EncodeSettingsText(settings, settings_text_)) {
    settings_text_.clear();
    return Fail("a setting with an empty key or value (or a 0x01 byte) can't be stored");
  }
  return true;
}

bool ZpkWriter::WriteSection(std::string body, bool with_length) {
  if (int32_t(options_.format_version) >= kEncipheredSectionsVersion)
    ApplySectionCipher(options_.identity, reinterpret_cast<uint8_t*>(body.data()), body.size());
  if (with_length) {
    std::string length = U32Bytes(uint32_t(body.size()));
    if (!Write(length.data(), length.size())) return false;
  }
  return Write(body.data(), body.size());
}

bool ZpkWriter::Finish() {
  if (fd_ < 0) return Fail("no book begun");
  bool enciphered = int32_t(options_.format_version) >= kEncipheredSectionsVersion;
  uint32_t offsets[4] = {0, 0, 0, 0};

  offsets[0] = uint32_t(position_);
  std::string records;
  AppendDirectoryRecords(*tree_.root(), records);
  records.push_back(char(kRecordEnd));
  if (!WriteSection(std::move(records), true)) return false;

  if (!config_document_.empty()) {
    offsets[1] = uint32_t(position_);
    std::string body = enciphered ? U32Bytes(uint32_t(config_document_.size())) + config_document_ : config_document_;
    if (!WriteSection(std::move(body), true)) return false;
  }

  if (!settings_text_.empty()) {
    offsets[2] = uint32_t(position_);
    std::vector<uint8_t> stored(LzoCompressBound(uint32_t(settings_text_.size())));
    uint32_t stored_size = uint32_t(stored.size());
    if (compressor_->Compress(stored.data(), &stored_size, reinterpret_cast<const uint8_t*>(settings_text_.data()),
                              uint32_t(settings_text_.size()), options_.compress_level) != 0)
      return Fail("cannot compress the settings");
    std::string body = U32Bytes(uint32_t(settings_text_.size())) + U32Bytes(stored_size) +
                       std::string(reinterpret_cast<const char*>(stored.data()), stored_size);
    // Below version 10 the section is the bare body, without a length in front.
    if (!WriteSection(std::move(body), enciphered)) return false;
  }
  if (position_ > kMaxDataOffset) return Fail("the book would exceed 2 GiB");

  // A bare archive that happens to end in the trailer mark would be misread as an appended one, so
  // it gets a trailer pointing at offset 0.
  bool trailer = executable_;
  if (!trailer && position_ >= base_ + kHeaderSize + kTrailerSize) {
    uint8_t tail[2];
    trailer = ::pread(fd_, tail, 2, off_t(position_ - kTrailerSize)) == 2 &&
              uint16_t(tail[0] | tail[1] << 8) == kTrailerMark;
  }
  if (trailer) {
    uint8_t t[kTrailerSize] = {uint8_t(kTrailerMark & 0xFF), uint8_t(kTrailerMark >> 8)};
    StoreU32(t + 2, uint32_t(base_));
    if (!Write(t, sizeof t)) return false;
  }

  uint8_t header[kHeaderSize];
  std::memcpy(header, kArchiveMagic, 4);
  StoreU32(header + 4, options_.format_version);
  std::memcpy(header + 8, options_.identity.data(), 16);
  StoreU32(header + 24, options_.compressor_id);
  for (int i = 0; i < 4; ++i) StoreU32(header + 28 + 4 * i, offsets[i]);
  if (::pwrite(fd_, header, sizeof header, off_t(base_)) != ssize_t(sizeof header))
    return Fail("cannot write the header: " + ErrnoText());
  if (::fchmod(fd_, executable_ ? 0755 : 0644) != 0 || ::fsync(fd_) != 0)
    return Fail("cannot finish " + temp_path_ + ": " + ErrnoText());
  ::close(fd_);
  fd_ = -1;
  if (::rename(temp_path_.c_str(), target_path_.c_str()) != 0) return Fail("cannot rename to " + target_path_ + ": " + ErrnoText());
  temp_path_.clear();
  return true;
}

}  // namespace lectern
