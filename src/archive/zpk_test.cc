#include "archive/zpk.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/current_entry_guard.h"
#include "archive/section_cipher.h"
#include "archive/test_books.h"
#include "book/xml/node.h"
#include "platform/message_box.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;
using testing::WriteWholeFile;

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  StoreU32(reinterpret_cast<uint8_t*>(s.data()), v);
  return s;
}

void PatchBytes(const std::string& path, size_t at, const std::string& bytes) {
  std::string file = ReadWholeFile(path);
  ASSERT_LE(at + bytes.size(), file.size());
  file.replace(at, bytes.size(), bytes);
  WriteWholeFile(path, file);
}

std::string EntryText(ZPK& zpk, const std::string& path) {
  std::vector<uint8_t> content;
  if (!zpk.ReadWholeEntry(path, content)) return "<failed>";
  return std::string(content.begin(), content.end());
}

TestBook SampleBook() {
  TestBook book;
  book.files = {{"index.htm", "<html><body>Welcome</body></html>"},
                {"pages/a.htm", std::string(5000, 'a') + "end"},
                {"pages/empty.txt", ""},
                {"media/clip.avi", "RIFF not really a movie"},
                {"images/", ""}};
  book.raw = {{"media/clip.avi", true}};
  book.settings = {{"title", "Sample"}, {"home", "index.htm"}};
  book.config_document = "<book><toc><item text=\"Start\" url=\"index.htm\"/></toc></book>";
  book.options.identity = BookIdentity{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  return book;
}

// A hand-made archive: header, then `entries` at offset 44, then a directory section with `records`.
std::string CraftArchive(uint32_t version, const BookIdentity& id, const std::string& entries, std::string records) {
  std::string header = "ZPK" + std::string(1, '\0') + U32(version);
  header.append(reinterpret_cast<const char*>(id.data()), id.size());
  uint32_t directory_at = uint32_t(kHeaderSize + entries.size());
  header += U32(kCompressorDefault) + U32(directory_at) + U32(0) + U32(0) + U32(0);
  if (int32_t(version) >= kEncipheredSectionsVersion)
    ApplySectionCipher(id, reinterpret_cast<uint8_t*>(records.data()), records.size());
  return header + entries + U32(uint32_t(records.size())) + records;
}

std::string FileRecord(const std::string& name, uint32_t offset) { return name + std::string(1, '\0') + U32(offset); }

struct RecordedBox {
  std::string text, caption;
  int count = 0;
};
RecordedBox g_box;
int RecordBox(void*, std::string_view text, std::string_view caption, unsigned) {
  g_box.text = text;
  g_box.caption = caption;
  ++g_box.count;
  return kIdOk;
}

TEST(ZpkTest, OpensBareAndAppendedBooksAlike) {
  TempDir dir;
  TestBook book = SampleBook();
  ASSERT_TRUE(WriteTestBook(dir.Join("bare.ebk"), book));
  std::string stub = dir.Write("reader", std::string(1000, 'M'));
  book.stub_path = stub;
  ASSERT_TRUE(WriteTestBook(dir.Join("appended.ebk"), book));

  for (const char* name : {"bare.ebk", "appended.ebk"}) {
    SCOPED_TRACE(name);
    ZPK zpk;
    ASSERT_TRUE(zpk.Open(dir.Join(name)));
    EXPECT_TRUE(zpk.IsOpen());
    EXPECT_GE(zpk.GetFileHandle(), 0);
    EXPECT_EQ(zpk.format_version(), 12u);
    EXPECT_EQ(zpk.identity(), book.options.identity);
    EXPECT_EQ(ProcessFormatVersion(), 12);
    EXPECT_EQ(ProcessBookIdentity(), book.options.identity);
    EXPECT_EQ(EntryText(zpk, "index.htm"), book.files["index.htm"]);
    EXPECT_EQ(EntryText(zpk, "\\PAGES\\A.HTM"), book.files["pages/a.htm"]);
    EXPECT_EQ(EntryText(zpk, "pages/empty.txt"), "");
    std::string value;
    EXPECT_EQ(zpk.settings().Get("title", value), 0);
    EXPECT_EQ(value, "Sample");
    EXPECT_EQ(zpk.config_document_text(), book.config_document);
    ASSERT_NE(zpk.config_document(), nullptr);
    const AdvXMLParser::Element* toc = zpk.config_document()->GetRoot()->FindElement("toc");
    ASSERT_NE(toc, nullptr);
    EXPECT_EQ(toc->FindElement("item")->FindAttribute("url").GetText(), "index.htm");
    EXPECT_NE(zpk.directory().Find("images", NodeKind::kDirectory), nullptr);
    zpk.Close();
    EXPECT_FALSE(zpk.IsOpen());
    EXPECT_EQ(zpk.GetFileHandle(), -1);
  }
  ZPK appended;
  ASSERT_TRUE(appended.Open(dir.Join("appended.ebk")));
  EXPECT_EQ(appended.archive_base(), 1000u);
  EXPECT_TRUE(HasArchiveTrailer(dir.Join("appended.ebk")));
  EXPECT_FALSE(HasArchiveTrailer(dir.Join("bare.ebk")));
  EXPECT_EQ(ReadWholeFile(dir.Join("appended.ebk")).substr(0, 1000), std::string(1000, 'M'));
}

TEST(ZpkTest, TrailerTestLooksOnlyAtTheMark) {
  TempDir dir;
  EXPECT_TRUE(HasArchiveTrailer(dir.Write("t", std::string("no archive here\xAA\x55\0\0\0\0", 21))));
  EXPECT_FALSE(HasArchiveTrailer(dir.Write("short", "\xAA")));
  EXPECT_FALSE(HasArchiveTrailer(dir.Join("missing")));
  EXPECT_FALSE(HasArchiveTrailer(""));
}

TEST(ZpkTest, EntryReadsFollowTheSizeProtocol) {
  TempDir dir;
  TestBook book = SampleBook();
  ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(dir.Join("b.ebk")));

  uint32_t size = 0;
  ASSERT_TRUE(zpk.ReadEntry("pages/a.htm", nullptr, size));
  EXPECT_EQ(size, 5003u);
  uint32_t untouched = 77;
  EXPECT_TRUE(zpk.ReadEntry("pages", nullptr, untouched));
  EXPECT_EQ(untouched, 77u);
  for (const char* root : {"/", "\\", "."}) {
    untouched = 78;
    EXPECT_TRUE(zpk.ReadEntry(root, nullptr, untouched)) << root;
    EXPECT_EQ(untouched, 78u) << "the root is a folder, never a record at offset 0";
  }
  EXPECT_FALSE(zpk.ReadEntry("pages/missing.htm", nullptr, size));
  EXPECT_FALSE(zpk.ReadEntry("", nullptr, size));

  std::vector<uint8_t> small(5002);
  size = uint32_t(small.size());
  EXPECT_FALSE(zpk.ReadEntry("pages/a.htm", small.data(), size));
  std::vector<uint8_t> roomy(6000);
  size = uint32_t(roomy.size());
  ASSERT_TRUE(zpk.ReadEntry("pages/a.htm", roomy.data(), size));
  EXPECT_EQ(size, 5003u);
  EXPECT_EQ(std::string(roomy.begin(), roomy.begin() + size), book.files["pages/a.htm"]);

  ZPK closed;
  EXPECT_FALSE(closed.ReadEntry("index.htm", nullptr, size));
}

TEST(ZpkTest, RawCompanionIsLocatedAndMasked) {
  TempDir dir;
  TestBook book = SampleBook();
  book.options.format_version = 11;  // the companion is masked whatever the version
  ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(dir.Join("b.ebk")));
  uint32_t offset = 0, size = 0;
  ASSERT_TRUE(zpk.LocateEntry("MEDIA/clip.avi", offset, size));
  const FsNode* companion = zpk.directory().Find("media/clip.avi:", NodeKind::kFile);
  ASSERT_NE(companion, nullptr);
  EXPECT_EQ(offset, companion->data_offset + 8);
  const std::string& content = book.files["media/clip.avi"];
  ASSERT_EQ(size, content.size());
  std::string raw(size, '\0');
  ASSERT_EQ(::pread(zpk.GetFileHandle(), raw.data(), size, offset), ssize_t(size));
  for (char& c : raw) c = char(c ^ kEntryMask);
  EXPECT_EQ(raw, content);
  EXPECT_EQ(EntryText(zpk, "media/clip.avi"), "");

  EXPECT_FALSE(zpk.LocateEntry("index.htm", offset, size));
  EXPECT_EQ(offset, 0u);
  EXPECT_EQ(size, 0u);
}

TEST(ZpkTest, EveryFormatVersionReadsBack) {
  for (uint32_t version : {9u, 10u, 11u, 12u}) {
    SCOPED_TRACE(version);
    TempDir dir;
    TestBook book = SampleBook();
    book.options.format_version = version;
    book.options.compress_level = LzoCompressor::kLevelFast;
    ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
    ZPK zpk;
    ASSERT_TRUE(zpk.Open(dir.Join("b.ebk")));
    EXPECT_EQ(zpk.format_version(), version);
    EXPECT_EQ(EntryText(zpk, "pages/a.htm"), book.files["pages/a.htm"]);
    std::string home;
    EXPECT_EQ(zpk.settings().Get("home", home), 0);
    EXPECT_EQ(home, "index.htm");
    EXPECT_EQ(zpk.config_document_text(), book.config_document);
    ASSERT_NE(zpk.config_document(), nullptr);
    EXPECT_EQ(zpk.config_document()->GetRoot()->GetName(), "book");

    // The mask applies from version 12 on: decompress the stored bytes by hand to see it.
    const FsNode* node = zpk.directory().Find("index.htm", NodeKind::kFile);
    std::string file = ReadWholeFile(dir.Join("b.ebk"));
    uint32_t stored_size = LoadU32(reinterpret_cast<const uint8_t*>(file.data()) + node->data_offset + 4);
    CompressorPtr lzo = CreateCompressor(kCompressorLzo);
    std::vector<uint8_t> out(100);
    uint32_t produced = uint32_t(out.size());
    ASSERT_EQ(lzo->Decompress(out.data(), &produced,
                              reinterpret_cast<const uint8_t*>(file.data()) + node->data_offset + 8, stored_size),
              0);
    std::string decoded(out.begin(), out.begin() + produced);
    if (version >= 12)
      for (char& c : decoded) c = char(c ^ kEntryMask);
    EXPECT_EQ(decoded, book.files["index.htm"]);
    // Sections are enciphered from version 10 on: the title is visible in the file only below it.
    EXPECT_EQ(file.find("<toc>") != std::string::npos, version < 10);
  }
}

TEST(ZpkTest, HeaderRules) {
  TempDir dir;
  TestBook book = SampleBook();
  std::string path = dir.Join("b.ebk");
  auto opens = [&] {
    ZPK zpk;
    return zpk.Open(path);
  };
  auto fresh = [&] { ASSERT_TRUE(WriteTestBook(path, book)); };

  fresh();
  PatchBytes(path, 0, "zpk");
  EXPECT_TRUE(opens()) << "lower-case magic";
  fresh();
  PatchBytes(path, 3, "!");
  EXPECT_FALSE(opens()) << "non-zero fourth magic byte";
  fresh();
  PatchBytes(path, 24, U32(1));
  EXPECT_FALSE(opens()) << "compressor 1";
  fresh();
  PatchBytes(path, 24, U32(7));
  EXPECT_FALSE(opens()) << "compressor 7";
  fresh();
  PatchBytes(path, 24, U32(2));
  EXPECT_TRUE(opens()) << "compressor 2";
  fresh();
  PatchBytes(path, 28, U32(39));
  EXPECT_FALSE(opens()) << "first section offset below 40";

  fresh();
  PatchBytes(path, 32, U32(0) + U32(0) + U32(0));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(path)) << "absent optional sections";
  EXPECT_TRUE(zpk.config_document_text().empty());
  EXPECT_EQ(zpk.config_document(), nullptr);
  EXPECT_TRUE(zpk.settings().map().empty());
  EXPECT_EQ(EntryText(zpk, "index.htm"), book.files["index.htm"]);
  EXPECT_EQ(zpk.ReadSettings(-1), -1);
}

TEST(ZpkTest, ConfigurationDocumentIsParsedOrLeftAbsent) {
  for (uint32_t version : {9u, 12u}) {
    SCOPED_TRACE(version);
    TempDir dir;
    TestBook book = SampleBook();
    book.options.format_version = version;
    book.config_document = "<book>\n<toc><item text='Start' url='index.htm'></toc></book>";
    ASSERT_TRUE(WriteTestBook(dir.Join("malformed.ebk"), book));
    ZPK zpk;
    ASSERT_TRUE(zpk.Open(dir.Join("malformed.ebk"))) << "a bad document never stops the open";
    EXPECT_EQ(zpk.config_document(), nullptr);
    EXPECT_EQ(zpk.config_document_text(), book.config_document);
    EXPECT_EQ(EntryText(zpk, "index.htm"), book.files["index.htm"]);
    std::string title;
    EXPECT_EQ(zpk.settings().Get("title", title), 0);
    EXPECT_EQ(zpk.ReadConfigDocument(zpk.section_offset(ZPK::kConfigDocumentSection)), -1);
    EXPECT_EQ(zpk.config_document(), nullptr);

    // A well-formed document read again replaces nothing but itself.
    book.config_document = "<?xml version='1.0'?><project><config><title>T</title></config></project>";
    ASSERT_TRUE(WriteTestBook(dir.Join("good.ebk"), book));
    ZPK good;
    ASSERT_TRUE(good.Open(dir.Join("good.ebk")));
    ASSERT_NE(good.config_document(), nullptr);
    EXPECT_EQ(good.ReadConfigDocument(good.section_offset(ZPK::kConfigDocumentSection)), 1);
    ASSERT_NE(good.config_document(), nullptr);
    EXPECT_EQ(good.config_document()->GetRoot()->FindElement("config")->FindElement("title")->GetText(), "T");
  }

  // A section of length 0 fails and leaves no document.
  TempDir dir;
  TestBook book = SampleBook();
  book.options.format_version = 9;
  std::string path = dir.Join("b.ebk");
  ASSERT_TRUE(WriteTestBook(path, book));
  ZPK probe;
  ASSERT_TRUE(probe.Open(path));
  uint32_t at = probe.section_offset(ZPK::kConfigDocumentSection);
  probe.Close();
  PatchBytes(path, at, U32(0));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(path));
  EXPECT_EQ(zpk.config_document(), nullptr);
  EXPECT_TRUE(zpk.config_document_text().empty());
}

TEST(ZpkTest, TinyFilesFailWithAReasonAndNoBox) {
  TempDir dir;
  MessageBoxHandler previous = SetMessageBoxHandler(RecordBox);
  g_box = {};
  ZPK zpk;
  EXPECT_FALSE(zpk.Open(dir.Write("four", std::string("ZPK\0", 4))));
  EXPECT_EQ(zpk.open_error().description, "the file is too short to hold a book (4 bytes)");
  EXPECT_FALSE(zpk.IsOpen());
  EXPECT_FALSE(zpk.Open(dir.Write("thirty-nine", std::string("ZPK\0", 4) + std::string(35, '\0'))));
  EXPECT_EQ(zpk.open_error().description, "the file is too short to hold a book (39 bytes)");
  EXPECT_FALSE(zpk.Open(dir.Join("missing")));
  EXPECT_EQ(zpk.open_error().description, "the file cannot be opened: No such file or directory");
  EXPECT_FALSE(zpk.Open(""));
  EXPECT_EQ(zpk.open_error().description, "no file named");
  EXPECT_EQ(g_box.count, 0) << "nothing is shown from the archive";
  SetMessageBoxHandler(previous);
}

TEST(ZpkTest, CurrentEntryGuardRefusesOnlyTheSamePathOnTheSameThread) {
  TempDir dir;
  TestBook book = SampleBook();
  ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(dir.Join("b.ebk")));
  uint32_t size = 0;
  {
    CurrentEntryGuard outer("PAGES/A.htm");
    ASSERT_TRUE(outer.entered());
    EXPECT_FALSE(zpk.ReadEntry("pages/a.htm", nullptr, size));
    EXPECT_TRUE(zpk.ReadEntry("index.htm", nullptr, size)) << "another path";
    EXPECT_FALSE(zpk.ReadEntry("pages/a.htm", nullptr, size)) << "the inner read put the outer path back";
    bool other_thread = false;
    std::thread([&] { other_thread = zpk.ReadEntry("pages/a.htm", nullptr, size); }).join();
    EXPECT_TRUE(other_thread);
    CurrentEntryGuard companion("media/clip.avi:");
    uint32_t offset = 0;
    EXPECT_FALSE(zpk.LocateEntry("media/clip.avi", offset, size));
  }
  EXPECT_TRUE(zpk.ReadEntry("pages/a.htm", nullptr, size));
  EXPECT_FALSE(zpk.ReadEntry("nothing", nullptr, size));
  EXPECT_TRUE(zpk.ReadEntry("pages/a.htm", nullptr, size)) << "a failed read leaves the guard empty";
}

TEST(ZpkTest, ParallelReadsOfOneBookAgree) {
  TempDir dir;
  TestBook book = SampleBook();
  ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(dir.Join("b.ebk")));
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i)
        if (EntryText(zpk, i % 2 ? "pages/a.htm" : "index.htm") != book.files[i % 2 ? "pages/a.htm" : "index.htm"])
          ++wrong;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong, 0);
}

TEST(ZpkTest, HostileEntryRecordsFailCleanly) {
  TempDir dir;
  BookIdentity id{9, 9, 9};
  CompressorPtr lzo = CreateCompressor(kCompressorLzo);
  std::string content = "hello hello hello hello";
  for (char& c : content) c = char(c ^ kEntryMask);
  std::vector<uint8_t> packed(LzoCompressBound(uint32_t(content.size())));
  uint32_t packed_size = uint32_t(packed.size());
  ASSERT_EQ(lzo->Compress(packed.data(), &packed_size, reinterpret_cast<const uint8_t*>(content.data()),
                          uint32_t(content.size()), 0),
            0);
  std::string stored(reinterpret_cast<const char*>(packed.data()), packed_size);
  // LZO carries no checksum; a stream cut short is what it can detect.
  std::string damaged = stored.substr(0, stored.size() - 3);

  uint32_t at = kHeaderSize;
  std::string entries;
  auto add = [&](uint32_t content_size, uint32_t stored_size, const std::string& bytes) {
    uint32_t offset = at + uint32_t(entries.size());
    entries += U32(content_size) + U32(stored_size) + bytes;
    return offset;
  };
  uint32_t good = add(23, packed_size, stored);
  uint32_t huge_content = add(0xFFFFFFF0u, packed_size, stored);
  uint32_t past_end = add(23, 1u << 30, stored);
  uint32_t broken = add(23, uint32_t(damaged.size()), damaged);
  uint32_t raw_past_end = add(1u << 30, 16, std::string(16, 'x'));
  uint32_t claims_more = add(24, packed_size, stored);
  uint32_t claims_less = add(22, packed_size, stored);
  // A whole stream of a shorter text than the record declares: it decodes without complaint.
  std::string shorter = "hello";
  for (char& c : shorter) c = char(c ^ kEntryMask);
  uint32_t shorter_size = uint32_t(packed.size());
  ASSERT_EQ(lzo->Compress(packed.data(), &shorter_size, reinterpret_cast<const uint8_t*>(shorter.data()),
                          uint32_t(shorter.size()), 0),
            0);
  uint32_t short_stream = add(23, shorter_size, std::string(reinterpret_cast<const char*>(packed.data()), shorter_size));
  std::string records = FileRecord("short", short_stream) + FileRecord("good", good) + FileRecord("huge", huge_content) + FileRecord("past", past_end) +
                        FileRecord("broken", broken) + FileRecord("indirect", 0x80000004u) +
                        FileRecord("outside", 0x7FFFFFF0u) + FileRecord("movie:", raw_past_end) +
                        FileRecord("more", claims_more) + FileRecord("less", claims_less) + "\xFF";
  std::string path = dir.Write("hostile.ebk", CraftArchive(12, id, entries, records));

  ZPK zpk;
  ASSERT_TRUE(zpk.Open(path));
  EXPECT_EQ(EntryText(zpk, "good"), "hello hello hello hello");
  uint32_t size = 0;
  EXPECT_FALSE(zpk.ReadEntry("huge", nullptr, size)) << "content size no stream of that length can make";
  EXPECT_FALSE(zpk.ReadEntry("past", nullptr, size)) << "stored bytes beyond the file";
  EXPECT_EQ(EntryText(zpk, "broken"), "<failed>");
  EXPECT_EQ(EntryText(zpk, "short"), "<failed>") << "5 bytes where 23 were declared";
  EXPECT_FALSE(zpk.ReadEntry("indirect", nullptr, size));
  EXPECT_FALSE(zpk.ReadEntry("outside", nullptr, size));
  uint32_t offset = 0;
  EXPECT_FALSE(zpk.LocateEntry("movie", offset, size)) << "raw bytes beyond the file";
  // A stream that decodes to another length than its record declares is damaged, whatever room
  // the caller offers.
  std::vector<uint8_t> roomy(64);
  for (const char* wrong : {"more", "less"}) {
    size = uint32_t(roomy.size());
    EXPECT_FALSE(zpk.ReadEntry(wrong, roomy.data(), size)) << wrong;
    EXPECT_EQ(EntryText(zpk, wrong), "<failed>") << wrong;
  }
  EXPECT_EQ(EntryText(zpk, "good"), "hello hello hello hello") << "the archive stays usable";
}

TEST(ZpkTest, ABrokenDirectoryRefusesTheBookSayingWhereAndWhy) {
  TempDir dir;
  BookIdentity id{7};
  std::string records = FileRecord("first", 44) + std::string("\x01\0", 2) + FileRecord("never", 44);
  ZPK zpk;
  EXPECT_FALSE(zpk.Open(dir.Write("b.ebk", CraftArchive(12, id, "", records))));
  EXPECT_EQ(zpk.open_error().description, "a folder record named \"\" at offset 58");
  EXPECT_EQ(zpk.open_error().offset, 58);
  EXPECT_FALSE(zpk.IsOpen());

  records = FileRecord("first", 44) + std::string("\x01..\0", 4) + FileRecord("rest", 44);
  EXPECT_FALSE(zpk.Open(dir.Write("dots.ebk", CraftArchive(12, id, "", records))));
  EXPECT_EQ(zpk.open_error().description, "a folder record named \"..\" at offset 58");

  std::string file = CraftArchive(12, id, "", FileRecord("x", 44) + "\xFF");
  file.replace(44, 4, U32(0x7FFFFFFF));
  EXPECT_FALSE(zpk.Open(dir.Write("c.ebk", file)));
  EXPECT_EQ(zpk.open_error().description, "the directory at offset 44 declares 2,147,483,647 bytes, past the end of the file (" +
                                              GroupedNumber(file.size()) + " bytes)");

  file = CraftArchive(12, id, "", FileRecord("x", 44) + "\xFF");
  file.replace(28, 4, U32(13600412));
  EXPECT_FALSE(zpk.Open(dir.Write("d.ebk", file)));
  EXPECT_EQ(zpk.open_error().description,
            "the directory at offset 13,600,412 lies past the end of the file (" + GroupedNumber(file.size()) + " bytes)");
  EXPECT_EQ(zpk.open_error().offset, 13600412);
}

// Every prefix of a real book, and every single-byte change to its sections: opening and reading
// everything must fail or succeed without reading outside what the file holds.
TEST(ZpkTest, TruncatedAndDamagedBooksNeverMisbehave) {
  TempDir dir;
  TestBook book = SampleBook();
  book.files.erase("pages/a.htm");
  book.stub_path = dir.Write("stub", "#!/bin/sh\n");
  ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
  std::string whole = ReadWholeFile(dir.Join("b.ebk"));
  std::string path = dir.Join("variant.ebk");
  MessageBoxHandler previous = SetMessageBoxHandler(RecordBox);
  auto exercise = [&] {
    ZPK zpk;
    if (!zpk.Open(path)) return;
    for (const char* entry : {"index.htm", "pages/empty.txt", "media/clip.avi"}) {
      std::vector<uint8_t> content;
      zpk.ReadWholeEntry(entry, content);
      uint32_t offset = 0, size = 0;
      if (zpk.LocateEntry(entry, offset, size)) {
        EXPECT_LE(int64_t(offset) + size, zpk.file_size());
      }
    }
  };
  for (size_t length = 0; length < whole.size(); ++length) {
    WriteWholeFile(path, whole.substr(0, length));
    exercise();
  }
  for (size_t at = 0; at < whole.size(); ++at) {
    std::string changed = whole;
    changed[at] = char(changed[at] ^ 0x5A);
    WriteWholeFile(path, changed);
    exercise();
  }
  SetMessageBoxHandler(previous);
}

}  // namespace
}  // namespace lectern
