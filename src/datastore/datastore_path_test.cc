#include "datastore/datastore_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "archive/test_books.h"
#include "book/ebk_manager.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;

TEST(DatastorePathTest, RecognisesTheRootPrefixOnly) {
  EXPECT_TRUE(IsDatastorePath("c:\\datastore\\toc.htm"));
  EXPECT_TRUE(IsDatastorePath("C:/DATASTORE/x.htm"));
  EXPECT_TRUE(IsDatastorePath("C:/DataStore\\img/a.gif"));
  EXPECT_TRUE(IsDatastorePath("c:\\datastore"));
  EXPECT_TRUE(IsDatastorePath("c:\\datastore.htm")) << "no separator is needed after the root";
  EXPECT_FALSE(IsDatastorePath("c:\\data"));
  EXPECT_FALSE(IsDatastorePath(""));
  EXPECT_FALSE(IsDatastorePath("d:\\datastore\\x"));
  EXPECT_FALSE(IsDatastorePath("file://c:/datastore/x.htm")) << "URLs are not paths";
  EXPECT_FALSE(IsDatastorePath(std::string_view("c:\\datast\0re\\x", 14)));

  EXPECT_TRUE(IsDatastorePath(WideStringView(OLESTR("C:/DATASTORE/x.htm"))));
  EXPECT_TRUE(IsDatastorePath(WideStringView(OLESTR("c:\\datastore\\\u00e9t\u00e9.htm"))));
  EXPECT_FALSE(IsDatastorePath(WideStringView(OLESTR("c:\\data"))));
  EXPECT_FALSE(IsDatastorePath(WideStringView(OLESTR("c:\\d\u00e1tastore\\x"))));
  EXPECT_FALSE(IsDatastorePath(WideStringView(OLESTR(""))));
}

TEST(DatastorePathTest, RelativePartIsTheTextAfterTheRoot) {
  EXPECT_EQ(DatastoreRelativePath("C:/DATASTORE/x.htm"), "/x.htm");
  EXPECT_EQ(DatastoreRelativePath("c:\\datastore\\a\\\\b.htm"), "\\a\\\\b.htm") << "written as it is";
  EXPECT_EQ(DatastoreRelativePath("c:\\datastore.htm"), ".htm");
  EXPECT_EQ(DatastoreRelativePath("c:\\datastore"), "");
  EXPECT_EQ(DatastoreRelativePath("/home/x.htm"), "/home/x.htm");
}

TEST(DatastorePathTest, UrlsHaveOneSlashAfterTheRootAndNoEscaping) {
  EXPECT_EQ(DatastoreUrl(""), "");
  EXPECT_EQ(DatastoreUrl("a\\b c.htm"), "file://c:/datastore/a/b c.htm");
  EXPECT_EQ(DatastoreUrl("index.htm"), "file://c:/datastore/index.htm");
  EXPECT_EQ(DatastoreUrl("\\index.htm"), "file://c:/datastore/index.htm");
  EXPECT_EQ(DatastoreUrl("/a/%20.htm"), "file://c:/datastore/a/%20.htm");
}

TEST(DatastorePathTest, NormalisedBookPathsStayInsideTheRoot) {
  EXPECT_EQ(NormalizeBookPath(""), "");
  EXPECT_EQ(NormalizeBookPath("\\"), "");
  EXPECT_EQ(NormalizeBookPath("/./"), "");
  EXPECT_EQ(NormalizeBookPath("a/b.htm"), "\\a\\b.htm");
  EXPECT_EQ(NormalizeBookPath("\\\\a//\\b.htm"), "\\a\\b.htm") << "runs of separators are one";
  EXPECT_EQ(NormalizeBookPath("/a/./c/../b.htm"), "\\a\\b.htm");
  EXPECT_EQ(NormalizeBookPath(".htm"), "\\.htm");
  EXPECT_EQ(NormalizeBookPath("/a/.../b"), "\\a\\...\\b") << "three dots is a name";
  EXPECT_EQ(NormalizeBookPath("/../x"), std::nullopt);
  EXPECT_EQ(NormalizeBookPath("..\\x"), std::nullopt);
  EXPECT_EQ(NormalizeBookPath("/a/../../etc/passwd"), std::nullopt);
  EXPECT_EQ(NormalizeBookPath(std::string_view("/a\0b", 4)), std::nullopt);
}

class DatastoreStatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestBook book;
    book.files = {{"page.htm", "<title>T</title>"}, {"img/", ""},      {"img/a.gif", "GIF89a"},
                  {"empty.txt", ""},                {"clip.ogg", "OggS....."}, {"my page.htm", "x"}};
    book.raw = {{"clip.ogg", true}};
    ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
    manager = CEbkManager::Create();
    ASSERT_EQ(manager->Open(Utf8ToWide(dir.Join("b.ebk")).c_str()), S_OK);
    PublishEbkManager(manager);
  }
  void TearDown() override {
    PublishEbkManager(nullptr);
    manager->Release();
  }
  TempDir dir;
  CEbkManager* manager = nullptr;
};

TEST_F(DatastoreStatTest, FilesFoldersAndTheRoot) {
  uint32_t attributes = 0, size = 0;
  ASSERT_TRUE(DatastoreStat("\\page.htm", &attributes, &size));
  EXPECT_EQ(attributes, 0xA1u);
  EXPECT_EQ(size, 16u);
  ASSERT_TRUE(DatastoreStat("/IMG/A.GIF", &attributes, &size)) << "names ignore case";
  EXPECT_EQ(size, 6u);
  ASSERT_TRUE(DatastoreStat("\\img", &attributes, &size));
  EXPECT_EQ(attributes, 0x10u);
  EXPECT_EQ(size, 0u);
  ASSERT_TRUE(DatastoreStat("/clip.ogg", &attributes, &size)) << "raw media are found by their raw size";
  EXPECT_EQ(attributes, 0xA1u);
  EXPECT_EQ(size, 9u);
  ASSERT_TRUE(DatastoreStat("\\empty.txt", &attributes, &size)) << "a zero-length file reads as a folder";
  EXPECT_EQ(attributes, 0x10u);
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(DatastoreStat("\\my%20page.htm", nullptr, nullptr)) << "an escaped blank finds its file";
  EXPECT_TRUE(DatastoreStat("page.htm", nullptr, nullptr));

  attributes = 7;
  size = 7;
  EXPECT_FALSE(DatastoreStat("\\missing.htm", &attributes, &size));
  EXPECT_EQ(attributes, 0x10u);
  EXPECT_EQ(size, 0u);
}

TEST_F(DatastoreStatTest, OddPathsHaveDefinedAnswers) {
  uint32_t size = 0;
  EXPECT_TRUE(DatastoreStat("\\\\img//a.gif", nullptr, &size));
  EXPECT_EQ(size, 6u);
  EXPECT_TRUE(DatastoreStat("/img/../page.htm", nullptr, &size));
  EXPECT_EQ(size, 16u);
  EXPECT_FALSE(DatastoreStat("/../page.htm", nullptr, nullptr));
  EXPECT_FALSE(DatastoreStat("/img/../../page.htm", nullptr, nullptr));
}

TEST_F(DatastoreStatTest, RootNeedsNoBookButEverythingElseDoes) {
  PublishEbkManager(nullptr);
  uint32_t attributes = 0, size = 9;
  for (std::string_view root : {"", "\\", "/"}) {
    EXPECT_TRUE(DatastoreStat(root, &attributes, &size)) << root;
    EXPECT_EQ(attributes, 0x10u);
    EXPECT_EQ(size, 0u);
  }
  EXPECT_FALSE(DatastoreStat("\\page.htm", &attributes, &size));
}

TEST(HtmlTitleTest, OnlyTheTwoSpellingsCount) {
  std::string title = "stale";
  EXPECT_EQ(ExtractHtmlTitle("<html><title>Chapter 1</title></html>", title), 9u);
  EXPECT_EQ(title, "Chapter 1");
  EXPECT_EQ(ExtractHtmlTitle("<TITLE> A &amp; B </TITLE>", title), 11u);
  EXPECT_EQ(title, " A &amp; B ") << "no trimming, no entities";
  EXPECT_EQ(ExtractHtmlTitle("<title>mixed</TITLE>", title), 5u);
  EXPECT_EQ(ExtractHtmlTitle("<Title>x</Title>", title), 0u);
  EXPECT_EQ(title, "");
  title = "stale";
  EXPECT_EQ(ExtractHtmlTitle("<title></title>", title), 0u);
  EXPECT_EQ(title, "");
  EXPECT_EQ(ExtractHtmlTitle("<title>never closed", title), 0u);
  EXPECT_EQ(ExtractHtmlTitle("</title><title>", title), 0u);
  EXPECT_EQ(ExtractHtmlTitle("", title), 0u);
}

TEST(HtmlTitleTest, TheElementMayCarryAttributes) {
  std::string title;
  EXPECT_EQ(ExtractHtmlTitle("<head><title xmlns:d=\"http://docbook.org/ns/docbook\">Chapter 6. APT</title>", title), 14u);
  EXPECT_EQ(title, "Chapter 6. APT");
  EXPECT_EQ(ExtractHtmlTitle("<TITLE\n LANG=en>Upper</TITLE>", title), 5u);
  EXPECT_EQ(title, "Upper");
  EXPECT_EQ(ExtractHtmlTitle("<titles>no</titles><title>yes</title>", title), 3u) << "another element's name";
  EXPECT_EQ(title, "yes");
  EXPECT_EQ(ExtractHtmlTitle("<title lang=en", title), 0u) << "a tag never closed";
  EXPECT_EQ(ExtractHtmlTitle("<title", title), 0u);
}

TEST(HtmlTitleTest, WideFormAgreesWithNarrow) {
  std::string narrow, wide;
  std::string page = "<head><title>Caf\xc3\xa9 \xe2\x82\xac</title>";
  EXPECT_EQ(ExtractHtmlTitle(Utf8ToWide(page), wide), ExtractHtmlTitle(page, narrow));
  EXPECT_EQ(wide, narrow);
  EXPECT_EQ(wide, "Caf\xc3\xa9 \xe2\x82\xac");
}

TEST(CreateFolderChainTest, CreatesEveryFolderOnTheWay) {
  TempDir dir;
  std::string deep = dir.Join("a/b\\c//d/");
  EXPECT_TRUE(CreateFolderChain(deep));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Join("a/b/c/d")));
  EXPECT_TRUE(CreateFolderChain(dir.Join("a/b"))) << "an existing folder is fine";
  EXPECT_FALSE(CreateFolderChain(""));
}

TEST(CreateFolderChainTest, ManySeparatorsAreNoOverflow) {
  TempDir dir;
  std::string deep = dir.path();
  for (int i = 0; i < 300; ++i) deep += "/f";
  EXPECT_TRUE(CreateFolderChain(deep));
  EXPECT_TRUE(std::filesystem::is_directory(deep));
  std::string runs = dir.Join("r") + std::string(500, '/') + "s";
  EXPECT_TRUE(CreateFolderChain(runs));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Join("r/s")));
}

TEST(CreateFolderChainTest, RefusesToClimbOutOrOverAFile) {
  TempDir dir;
  ASSERT_TRUE(CreateFolderChain(dir.Join("inside")));
  EXPECT_FALSE(CreateFolderChain(dir.Join("inside/../../escaped")));
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(dir.path()).parent_path() / "escaped"));
  EXPECT_FALSE(CreateFolderChain(dir.Join("inside\\..\\sibling")));
  EXPECT_FALSE(std::filesystem::exists(dir.Join("sibling")));

  dir.Write("file", "x");
  EXPECT_FALSE(CreateFolderChain(dir.Join("file")));
  EXPECT_FALSE(CreateFolderChain(dir.Join("file/sub")));
}

}  // namespace
}  // namespace lectern
