#include "archive/test_books.h"

#include <cstdio>
#include <span>

#include "archive/compressor.h"
#include "archive/format.h"
#include "archive/section_cipher.h"
#include "tests/support/temp_dir.h"

namespace lectern::testing {

bool WriteTestBook(const std::string& path, const TestBook& book, std::string* error) {
  ZpkWriter writer;
  bool ok = writer.Begin(path, book.stub_path, book.options);
  for (const auto& [name, content] : book.files) {
    if (!ok) break;
    if (!name.empty() && name.back() == '/') {
      ok = writer.AddDirectory(name);
    } else if (book.raw.count(name)) {
      std::string source = path + ".raw-source";
      WriteWholeFile(source, content);
      ok = writer.AddRawFile(name, source);
      std::remove(source.c_str());
    } else {
      ok = writer.AddFile(name, std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
    }
  }
  if (ok && !book.settings.empty()) ok = writer.SetSettings(book.settings);
  writer.SetConfigDocument(book.config_document);
  if (ok) ok = writer.Finish();
  if (!ok && error) *error = writer.error();
  return ok;
}

namespace {

std::string U32(uint32_t v) {
  uint8_t b[4];
  StoreU32(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}

}  // namespace

HandMadeBook::HandMadeBook(const std::vector<std::string>& contents) {
  bytes_.assign(kHeaderSize, '\0');
  for (const std::string& content : contents) {
    std::string stored = Compress(content);
    AddRecord(uint32_t(content.size()), uint32_t(stored.size()), stored);
  }
}

std::string HandMadeBook::Compress(std::string content) {
  for (char& c : content) c = char(c ^ kEntryMask);
  CompressorPtr lzo = CreateCompressor(kCompressorLzo);
  std::vector<uint8_t> stored(LzoCompressBound(uint32_t(content.size())));
  uint32_t stored_size = uint32_t(stored.size());
  lzo->Compress(stored.data(), &stored_size, reinterpret_cast<const uint8_t*>(content.data()), uint32_t(content.size()),
                LzoCompressor::kLevelFast);
  return std::string(reinterpret_cast<const char*>(stored.data()), stored_size);
}

size_t HandMadeBook::AddRecord(uint32_t content_size, uint32_t stored_size, const std::string& stored) {
  offsets_.push_back(uint32_t(bytes_.size()));
  bytes_ += U32(content_size) + U32(stored_size);
  bytes_ += stored;
  return offsets_.size() - 1;
}

std::string HandMadeBook::File(const std::string& name, size_t entry) const {
  return name + '\0' + U32(offsets_[entry]);
}

std::string HandMadeBook::Folder(const std::string& name) { return "\x01" + name + '\0'; }

std::string HandMadeBook::Leave() { return "\x02"; }

std::string HandMadeBook::Finish(std::string records) const {
  records += "\xFF";
  BookIdentity identity{};
  for (size_t i = 0; i < identity.size(); ++i) identity[i] = uint8_t(0x40 + i);
  ApplySectionCipher(identity, reinterpret_cast<uint8_t*>(records.data()), records.size());
  std::string book = bytes_;
  uint32_t directory = uint32_t(book.size());
  book += U32(uint32_t(records.size()));
  book += records;
  std::string header = std::string("ZPK\0", 4) + U32(12) + std::string(identity.begin(), identity.end()) +
                       U32(kCompressorDefault) + U32(directory) + U32(0) + U32(0) + U32(0);
  book.replace(0, kHeaderSize, header);
  return book;
}

}  // namespace lectern::testing
