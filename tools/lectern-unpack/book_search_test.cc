// Drives lectern-unpack's search actions on books written by the writer, with the working folders
// in a folder of the test's own.
#include "lectern-unpack/book_search.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "archive/book_identity.h"
#include "archive/test_books.h"
#include "common/run_tool.h"
#include "panes/search_index.h"
#include "shell/ebk_registry.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::RunTool;
using testing::TempDir;
using testing::ToolRun;

const std::string kUnpack = LECTERN_UNPACK_BINARY;

class BookSearchTest : public ::testing::Test {
 protected:
  BookSearchTest() {
    // The children inherit it: every working folder lands here.
    setenv("XDG_DATA_HOME", dir_.Join("data").c_str(), 1);
    book_.files = {{"a.htm", "<title>Alpha</title>common alpha"},
                   {"b/c.htm", "<title>Tab\there</title>COMMON ground"},
                   {"d.txt", "nothing to see"},
                   {"e.css", "common in a style sheet"}};
    book_.options.identity = BookIdentity{7, 7, 7, 7, 7, 7, 7, 7, 1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_TRUE(testing::WriteTestBook(path_, book_));
  }
  ToolRun Unpack(std::vector<std::string> args) {
    args.insert(args.begin(), path_);
    return RunTool(kUnpack, args);
  }
  std::string IndexPath() {
    std::string folder;
    EXPECT_TRUE(EbkRegistry::Instance().WorkingFolderOf("", IdentityHex(book_.options.identity), folder));
    return SearchIndexPath(folder);
  }

  TempDir dir_;
  testing::TestBook book_;
  std::string path_ = dir_.Join("book.ebk");
};

TEST_F(BookSearchTest, HitsOneALineInTheReadersOrderWithGrepsExitCodes) {
  const std::string expected = "/a.htm\tAlpha\n/b/c.htm\tTab\\x09here\n";
  for (auto args : {std::vector<std::string>{"--search", "common"}, {"--search", "common", "--no-index"}}) {
    ToolRun run = Unpack(args);
    EXPECT_EQ(run.status, kSearchHits) << run.err;
    EXPECT_EQ(run.out, expected);
  }
  ToolRun none = Unpack({"--search", "nowhere at all"});
  EXPECT_EQ(none.status, kSearchNoHit);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "");

  ToolRun missing = RunTool(kUnpack, {dir_.Join("missing.ebk"), "--search", "common"});
  EXPECT_EQ(missing.status, kSearchTrouble) << "trouble must not read as no hit";
  ToolRun not_a_book = RunTool(kUnpack, {dir_.Write("plain.txt", "just text"), "--search", "common"});
  EXPECT_EQ(not_a_book.status, kSearchTrouble);
  EXPECT_NE(not_a_book.err.find("not a book"), std::string::npos) << not_a_book.err;
  EXPECT_EQ(Unpack({"--no-index"}).status, 2) << "a usage error";
}

TEST_F(BookSearchTest, TheBuiltIndexIsTheReadersAndAnswersAsTheScan) {
  ToolRun stats = Unpack({"--index-stats"});
  EXPECT_EQ(stats.status, 1);
  EXPECT_NE(stats.out.find("state:       not complete (no index)"), std::string::npos) << stats.out;

  ToolRun built = Unpack({"--build-index"});
  ASSERT_EQ(built.status, 0) << built.err;
  EXPECT_EQ(built.out.rfind(IndexPath() + ": 3 files", 0), 0u) << built.out;
  stats = Unpack({"--index-stats"});
  EXPECT_EQ(stats.status, 0) << stats.out;
  EXPECT_NE(stats.out.find("state:       complete\nfiles:       3\n"), std::string::npos) << stats.out;

  for (const char* query : {"common", "alpha \"common ground\"", "see", "ab", "absent"}) {
    ToolRun indexed = Unpack({"--search", query});
    ToolRun scanned = Unpack({"--search", query, "--no-index"});
    EXPECT_EQ(indexed.out, scanned.out) << query;
    EXPECT_EQ(indexed.status, scanned.status) << query;
  }

  // The reader takes the tool's index as it is, without building another.
  struct stat before, after;
  ASSERT_EQ(::stat(IndexPath().c_str(), &before), 0);
  CEbkManager* manager = CEbkManager::Create();
  ASSERT_EQ(manager->Open(Utf8ToWide(path_).c_str()), S_OK);
  {
    SearchIndexKeeper keeper(manager, IndexPath());
    keeper.Wait();
    EXPECT_NE(keeper.ready(), nullptr);
  }
  manager->Release();
  ASSERT_EQ(::stat(IndexPath().c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);

  // A changed book makes the index stale; the search still answers, from the book.
  book_.files["a.htm"] = "<title>Alpha</title>rewritten";
  sleep(1);
  ASSERT_TRUE(testing::WriteTestBook(path_, book_));
  EXPECT_NE(Unpack({"--index-stats"}).out.find("made for another book or another edition"), std::string::npos);
  ToolRun fresh = Unpack({"--search", "common"});
  EXPECT_EQ(fresh.out, "/b/c.htm\tTab\\x09here\n");
}

}  // namespace
}  // namespace lectern
