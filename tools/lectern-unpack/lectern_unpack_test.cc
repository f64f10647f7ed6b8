// Drives the real lectern-unpack binary on books made by lectern-pack, the writer and by hand.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/archive_error.h"
#include "archive/format.h"
#include "archive/test_books.h"
#include "common/run_tool.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::HandMadeBook;
using testing::ReadWholeFile;
using testing::RunTool;
using testing::SnapshotTree;
using testing::TempDir;
using testing::TestBook;
using testing::ToolRun;
using testing::WriteTestBook;
using testing::WriteWholeFile;

const std::string kPack = LECTERN_PACK_BINARY;
const std::string kUnpack = LECTERN_UNPACK_BINARY;

void ExpectOneLineFailure(const ToolRun& run, int status, const std::string& fragment) {
  EXPECT_EQ(run.status, status) << run.err;
  EXPECT_EQ(run.err.rfind("lectern-unpack: ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_NE(run.err.find(fragment), std::string::npos) << run.err;
}


class LecternUnpackTest : public ::testing::Test {
 protected:
  TempDir dir_;
};

TEST_F(LecternUnpackTest, TheSampleGuidePacksListsAndExtractsToTheSameTree) {
  std::string guide = testing::SourceDir() + "/samples/guide";
#ifdef _WIN32
  GTEST_SKIP() << "the sample's non-ASCII file names reach the runtime's ANSI file calls there";
#endif
  ASSERT_TRUE(std::filesystem::is_directory(guide)) << guide;
  std::string book = dir_.Join("guide.ebk");
  ToolRun pack = RunTool(kPack, {guide, "-o", book});
  ASSERT_EQ(pack.status, 0) << pack.err;

  ToolRun list = RunTool(kUnpack, {book, "--list"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_EQ(list.out.rfind("    Length      Stored  Method  Name\n----------  ----------  ------  ----\n", 0), 0u)
      << list.out;
  EXPECT_NE(list.out.find("lzo     index.html\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("lzo     pages/\xC3\xBC" "berblick.html\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("raw     media/"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("dir     pages/\n"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find(":\n"), std::string::npos) << "a companion listed as a file";
  std::map<std::string, std::string> source = SnapshotTree(guide);
  size_t folders = 0;
  for (auto& [path, content] : source) folders += content == "<folder>";
  EXPECT_NE(list.out.find(Concat({" ", std::to_string(source.size() - folders), " files, ", std::to_string(folders),
                                  " folders\n"})),
            std::string::npos)
      << list.out;

  std::string out = dir_.Join("extracted");
  ToolRun extract = RunTool(kUnpack, {book, "--extract", out});
  ASSERT_EQ(extract.status, 0) << extract.err;
  EXPECT_TRUE(SnapshotTree(out) == source);
}

TEST_F(LecternUnpackTest, CatPrintsOneEntryAndInfoDescribesTheBook) {
  TestBook book;
  book.files = {{"a/page.html", std::string(100000, 'p') + "end"}, {"clip.ogg", std::string(3 << 20, 'o') + "x"}};
  book.raw = {{"clip.ogg", true}};
  for (size_t i = 0; i < 16; ++i) book.options.identity[i] = uint8_t(0xA0 + i);
  book.settings = {{"title", "Guide"}, {"start_page", "a/page.html"}};
  std::string path = dir_.Join("b.ebk");
  ASSERT_TRUE(WriteTestBook(path, book));

  ToolRun page = RunTool(kUnpack, {path, "--cat", "A\\PAGE.HTML"});
  EXPECT_EQ(page.status, 0) << page.err;
  EXPECT_TRUE(page.out == book.files["a/page.html"]);
  ToolRun clip = RunTool(kUnpack, {path, "--cat=clip.ogg"});
  EXPECT_EQ(clip.status, 0) << clip.err;
  EXPECT_TRUE(clip.out == book.files["clip.ogg"]);
  ExpectOneLineFailure(RunTool(kUnpack, {path, "--cat", "a"}), 1, "a: is a folder");
  ExpectOneLineFailure(RunTool(kUnpack, {path, "--cat", "nope.html"}), 1, "nope.html: no such file in the book");
  ExpectOneLineFailure(RunTool(kUnpack, {path, "--cat", "clip.ogg:"}), 1, "no such file");

  ToolRun info = RunTool(kUnpack, {path, "--info"});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("format version:   12\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("identity:         a0a1a2a3a4a5a6a7a8a9aaabacadaeaf\n"), std::string::npos);
  EXPECT_NE(info.out.find("archive base:     0 (bare)\n"), std::string::npos);
  EXPECT_NE(info.out.find("config document:  0 (none)\n"), std::string::npos);
  EXPECT_NE(info.out.find("indirection:      0 (none)\n"), std::string::npos);
  EXPECT_NE(info.out.find("entries:          2 files (1 raw), 1 folders\n"), std::string::npos);
  EXPECT_NE(info.out.find("settings values:  2\n"), std::string::npos);
  EXPECT_EQ(info.out.find("settings:         0"), std::string::npos);
}

TEST_F(LecternUnpackTest, AHostileBookWritesNothingOutsideTheTarget) {
  HandMadeBook hand({"<p>fine</p>", "pwned"});
  std::string records = hand.File("fine.html", 0) + hand.File("../evil.html", 1) + hand.File("..\\evil2.html", 1) +
                        hand.File("/tmp/lectern-evil.html", 1) + hand.File("..", 1) + hand.File(".", 1) +
                        HandMadeBook::Folder("sub") + hand.File("../../up.html", 1) + HandMadeBook::Leave() +
                        HandMadeBook::Leave() + HandMadeBook::Leave() + hand.File("after.html", 0) +
                        HandMadeBook::Folder("..") + hand.File("escaped.html", 1);
  std::string book = dir_.Join("hostile.ebk");
  WriteWholeFile(book, hand.Finish(records));

  std::string jail = dir_.Join("jail");
  std::string out = jail + "/out";
  // The directory itself is refused: a book whose records would climb out is damaged.
  ToolRun run = RunTool(kUnpack, {book, "--extract", out});
  ExpectOneLineFailure(run, 1, Concat({book, ": a file record named \"../evil.html\" at offset "}));
  std::map<std::string, std::string> everything = SnapshotTree(dir_.path());
  for (auto& [path, content] : everything) {
    EXPECT_TRUE(path == "hostile.ebk" || path == "jail" || path.rfind("jail/out", 0) == 0) << path;
    EXPECT_NE(content, "pwned") << path;
  }
  EXPECT_FALSE(std::filesystem::exists("/tmp/lectern-evil.html"));
  ExpectOneLineFailure(RunTool(kUnpack, {book, "--list"}), 1, "a file record named \"../evil.html\"");

  // A folder record ".." is refused too, rather than ending the directory and hiding what follows.
  WriteWholeFile(book, hand.Finish(hand.File("fine.html", 0) + HandMadeBook::Folder("..") + hand.File("after.html", 0)));
  ExpectOneLineFailure(RunTool(kUnpack, {book, "--list"}), 1, "a folder record named \"..\" at offset ");
}

TEST_F(LecternUnpackTest, WhatIsNoBookFailsWithOneLine) {
  std::string tiny = dir_.Write("tiny", "ab");
  std::string text = dir_.Write("text.ebk", std::string(400, 't'));
  ExpectOneLineFailure(RunTool(kUnpack, {tiny}), 1, Concat({tiny, ": the file is too short to hold a book (2 bytes)"}));
  ExpectOneLineFailure(RunTool(kUnpack, {text, "--info"}), 1, Concat({text, ": no archive header at offset 0"}));
  ExpectOneLineFailure(RunTool(kUnpack, {dir_.Join("absent.ebk")}), 1, "No such file");
  ExpectOneLineFailure(RunTool(kUnpack, {dir_.path()}), 1, "not a file");
  ExpectOneLineFailure(RunTool(kUnpack, {}), 2, "no book given");
  ExpectOneLineFailure(RunTool(kUnpack, {text, "--list", "--info"}), 2, "one of");
  ExpectOneLineFailure(RunTool(kUnpack, {text, "--extract"}), 2, "needs a value");
  ExpectOneLineFailure(RunTool(kUnpack, {text, "--bogus"}), 2, "unknown option");
  ToolRun help = RunTool(kUnpack, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--extract DIR"), std::string::npos);
}

TEST_F(LecternUnpackTest, EmptyFoldersAndAppendedBooksSurviveTheRoundTrip) {
  std::string tree = dir_.Join("tree");
  dir_.Write("tree/a/b/c.txt", "c");
  dir_.Write("tree/song.mp3", std::string(70000, 's'));
  std::filesystem::create_directories(tree + "/a/empty/deeper");
  std::filesystem::create_directories(tree + "/top-empty");
  std::string stub = dir_.Write("stub", std::string(4096, 'E'));
  std::string book = dir_.Join("b.ebk");
  ASSERT_EQ(RunTool(kPack, {tree, "-o", book, "--stub", stub}).status, 0);
  ToolRun extract = RunTool(kUnpack, {book, "--extract", dir_.Join("x")});
  ASSERT_EQ(extract.status, 0) << extract.err;
  EXPECT_EQ(extract.out, dir_.Join("x") + ": 2 files, 5 folders\n");
  EXPECT_TRUE(SnapshotTree(dir_.Join("x")) == SnapshotTree(tree));
}

}  // namespace
}  // namespace lectern
