#include "archive/zpk_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <span>

#include "archive/test_books.h"
#include "archive/zpk.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;

std::span<const uint8_t> Bytes(const std::string& s) {
  return std::span(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(gen());
  return s;
}

size_t FilesIn(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(ZpkWriterTest, ContentOfEveryKindRoundTripsAtBothLevels) {
  for (int level : {LzoCompressor::kLevelFast, LzoCompressor::kLevelBest}) {
    SCOPED_TRACE(level);
    TempDir dir;
    TestBook book;
    book.options.compress_level = level;
    book.files = {{"noise.bin", RandomBytes(300000, 1)},
                  {"text.htm", std::string(200000, 'x') + "tail"},
                  {"deep/er/and/deeper/leaf.css", "body{}"},
                  {"caf\xC3\xA9/men\xC3\xBC.htm", "non-ASCII names"},
                  {"big.ogg", RandomBytes(3 * 1024 * 1024 + 17, 2)}};
    book.raw = {{"big.ogg", true}};
    ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
    ZPK zpk;
    ASSERT_TRUE(zpk.Open(dir.Join("b.ebk")));
    for (const auto& [name, content] : book.files) {
      if (book.raw.count(name)) continue;
      std::vector<uint8_t> read;
      ASSERT_TRUE(zpk.ReadWholeEntry(name, read)) << name;
      EXPECT_EQ(std::string(read.begin(), read.end()), content) << name;
    }
    uint32_t offset = 0, size = 0;
    ASSERT_TRUE(zpk.LocateEntry("big.ogg", offset, size));
    std::string raw = ReadWholeFile(dir.Join("b.ebk")).substr(offset, size);
    for (char& c : raw) c = char(c ^ kEntryMask);
    EXPECT_TRUE(raw == book.files["big.ogg"]);
    // Incompressible data may grow, within the bound the writer reserves.
    const FsNode* noise = zpk.directory().Find("noise.bin", NodeKind::kFile);
    uint32_t stored = LoadU32(reinterpret_cast<const uint8_t*>(ReadWholeFile(dir.Join("b.ebk")).data()) +
                              noise->data_offset + 4);
    EXPECT_LE(stored, LzoCompressBound(300000));
  }
}

TEST(ZpkWriterTest, RefusesNamesTheFormatCannotHold) {
  TempDir dir;
  const std::string bad[] = {"", "/", "a/../b", "./a", "\x01name", "\x02name", "\xFFname", "movie.avi:"};
  for (const std::string& name : bad) {
    SCOPED_TRACE(name);
    ZpkWriter writer;
    ASSERT_TRUE(writer.Begin(dir.Join("b.ebk"), "", {}));
    EXPECT_FALSE(writer.AddFile(name, Bytes("x")));
    EXPECT_FALSE(writer.error().empty());
    EXPECT_FALSE(writer.Finish()) << "a failed book stays failed";
  }
  ZpkWriter writer;
  ASSERT_TRUE(writer.Begin(dir.Join("b.ebk"), "", {}));
  ASSERT_TRUE(writer.AddFile("Pages/Index.htm", Bytes("x")));
  EXPECT_FALSE(writer.AddFile("pages/INDEX.HTM", Bytes("y"))) << "names differ only in letter case";
  EXPECT_NE(writer.error().find("letter case"), std::string::npos);
  EXPECT_EQ(FilesIn(dir.path()), 0u) << "neither the book nor its temporary file remain";

  ZpkWriter settings;
  ASSERT_TRUE(settings.Begin(dir.Join("c.ebk"), "", {}));
  EXPECT_FALSE(settings.SetSettings({{"title", ""}}));
}

TEST(ZpkWriterTest, BookAppearsOnlyWhenFinished) {
  TempDir dir;
  std::string target = dir.Join("b.ebk");
  {
    ZpkWriter writer;
    ASSERT_TRUE(writer.Begin(target, "", {}));
    ASSERT_TRUE(writer.AddFile("a.htm", Bytes("a")));
    EXPECT_FALSE(std::filesystem::exists(target));
  }
  EXPECT_EQ(FilesIn(dir.path()), 0u) << "an abandoned book leaves nothing behind";

  ZpkWriter writer;
  ASSERT_TRUE(writer.Begin(target, dir.Join("missing-stub"), {}) == false);
  EXPECT_NE(writer.error().find("missing-stub"), std::string::npos);
  EXPECT_FALSE(writer.Begin(dir.Join("no/such/folder/b.ebk"), "", {}));
}

TEST(ZpkWriterTest, AppendedBookKeepsTheStubAndIsExecutable) {
  TempDir dir;
  std::string stub = dir.Write("reader", RandomBytes(4096, 3));
  TestBook book;
  book.files = {{"a.htm", "a"}};
  book.stub_path = stub;
  ASSERT_TRUE(WriteTestBook(dir.Join("book"), book));
  std::string file = ReadWholeFile(dir.Join("book"));
  EXPECT_EQ(file.substr(0, 4096), ReadWholeFile(stub));
  EXPECT_EQ(file.substr(file.size() - 6), std::string("\xAA\x55\x00\x10\x00\x00", 6));
#ifndef _WIN32  // no execute bits there
  struct stat st;
  ASSERT_EQ(::stat(dir.Join("book").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);

  book.stub_path.clear();
  ASSERT_TRUE(WriteTestBook(dir.Join("bare"), book));
  ASSERT_EQ(::stat(dir.Join("bare").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
#endif
}

TEST(ZpkWriterTest, BareBookEndingLikeATrailerGetsARealOne) {
  // Unenciphered sections end with the directory records as written: a last folder whose name
  // ends in 0xAA 0x55 'z' makes the last six bytes start with the trailer mark.
  TempDir dir;
  TestBook book;
  book.options.format_version = 9;
  book.files = {{"a.htm", "a"}, {"\xAA\x55z/", ""}};
  ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(dir.Join("b.ebk")));
  EXPECT_EQ(zpk.archive_base(), 0u);
  EXPECT_NE(zpk.directory().Find("\xAA\x55z", NodeKind::kDirectory), nullptr);
}

TEST(ZpkWriterTest, RandomIdentitiesDiffer) {
  EXPECT_NE(RandomBookIdentity(), RandomBookIdentity());
  TempDir dir;
  TestBook book;
  book.files = {{"a", "a"}};
  ASSERT_TRUE(WriteTestBook(dir.Join("b"), book));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(dir.Join("b")));
  EXPECT_NE(zpk.identity(), BookIdentity{});
}

}  // namespace
}  // namespace lectern
