#include "archive/pack_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "archive/zpk.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(gen());
  return s;
}

std::string Entry(ZPK& zpk, const std::string& path) {
  std::vector<uint8_t> content;
  if (!zpk.ReadWholeEntry(path, content)) return "<unreadable>";
  return std::string(content.begin(), content.end());
}

std::string Companion(ZPK& zpk, const std::string& book_path, const std::string& path) {
  uint32_t offset = 0, size = 0;
  if (!zpk.LocateEntry(path, offset, size) || offset == 0) return "<none>";
  std::string raw = ReadWholeFile(book_path).substr(offset, size);
  for (char& c : raw) c = char(c ^ kEntryMask);
  return raw;
}

ZpkWriterOptions FixedIdentity() {
  ZpkWriterOptions options;
  for (size_t i = 0; i < options.identity.size(); ++i) options.identity[i] = uint8_t(i * 17 + 3);
  return options;
}

PackFolderResult Pack(const std::string& folder, const std::string& book, const PackFolderOptions& options = {}) {
  ZpkWriter writer;
  EXPECT_TRUE(writer.Begin(book, "", FixedIdentity())) << writer.error();
  PackFolderResult result = PackFolder(folder, writer, options);
  if (result.ok) {
    EXPECT_TRUE(writer.Finish()) << writer.error();
  }
  return result;
}

// Nothing named like the book, finished or not, may be left after a failed pack.
bool NoBookLeft(const std::string& dir) {
  for (auto& e : std::filesystem::directory_iterator(dir)) {
    if (e.path().filename().string().rfind("book.ebk", 0) == 0) return false;
  }
  return true;
}

class PackFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = dir_.Join("tree");
    dir_.Write("tree/index.html", "<h1>start</h1>");
    dir_.Write("tree/pages/b.html", std::string(50000, 'b'));
    dir_.Write("tree/pages/a.html", "a");
    dir_.Write("tree/pages/\xC3\xBC" "berblick.html", "non-ASCII");
    dir_.Write("tree/pages/deep/er/leaf.css", "body{}");
    dir_.Write("tree/img/noise.png", RandomBytes(20000, 7));
    dir_.Write("tree/media/tone.wav", RandomBytes(300000, 8));
    dir_.Write("tree/media/LOUD.WAV", RandomBytes(1000, 9));
    dir_.Write("tree/empty.txt", "");
    std::filesystem::create_directories(tree_ + "/empty/inner");
    book_ = dir_.Join("book.ebk");
  }

  TempDir dir_;
  std::string tree_;
  std::string book_;
};

TEST_F(PackFolderTest, EveryFileAndFolderArrivesWithItsContent) {
  PackFolderResult result = Pack(tree_, book_);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.files, 9u);
  EXPECT_EQ(result.raw_files, 2u);
  EXPECT_EQ(result.folders, 7u);  // pages, pages/deep, pages/deep/er, img, media, empty, empty/inner

  ZPK zpk;
  ASSERT_TRUE(zpk.Open(book_));
  EXPECT_EQ(Entry(zpk, "index.html"), "<h1>start</h1>");
  EXPECT_EQ(Entry(zpk, "pages/b.html"), std::string(50000, 'b'));
  EXPECT_EQ(Entry(zpk, "pages/\xC3\xBC" "berblick.html"), "non-ASCII");
  EXPECT_EQ(Entry(zpk, "pages/deep/er/leaf.css"), "body{}");
  EXPECT_EQ(Entry(zpk, "img/noise.png"), ReadWholeFile(tree_ + "/img/noise.png"));
  EXPECT_EQ(Entry(zpk, "empty.txt"), "");
  EXPECT_NE(zpk.directory().Find("empty/inner", NodeKind::kDirectory), nullptr);

  // Media is stored raw: an empty ordinary entry, the bytes in the companion; the extension's
  // letter case does not matter.
  EXPECT_EQ(Entry(zpk, "media/tone.wav"), "");
  EXPECT_TRUE(Companion(zpk, book_, "media/tone.wav") == ReadWholeFile(tree_ + "/media/tone.wav"));
  EXPECT_TRUE(Companion(zpk, book_, "media/LOUD.WAV") == ReadWholeFile(tree_ + "/media/LOUD.WAV"));
  EXPECT_EQ(Companion(zpk, book_, "img/noise.png"), "<none>");
}

TEST_F(PackFolderTest, SameTreeAndIdentityGiveTheSameBytesInNameOrder) {
  ASSERT_TRUE(Pack(tree_, book_).ok);
  std::string first = ReadWholeFile(book_);
  std::string second_path = dir_.Join("second.ebk");
  ASSERT_TRUE(Pack(tree_, second_path).ok);
  EXPECT_TRUE(first == ReadWholeFile(second_path));

  ZPK zpk;
  ASSERT_TRUE(zpk.Open(book_));
  std::vector<std::string> names;
  for (auto& child : zpk.directory().Find("pages", NodeKind::kDirectory)->children) names.push_back(child->name);
  EXPECT_EQ(names, (std::vector<std::string>{"a.html", "b.html", "deep", "\xC3\xBC" "berblick.html"}));
}

TEST_F(PackFolderTest, ABookWrittenIntoItsOwnTreeLeavesItselfOut) {
  // The previous edition and the unfinished file both lie in the tree; neither may be packed, or
  // the book would grow with every run.
  std::string inside = tree_ + "/pages/self.ebk";
  ASSERT_TRUE(Pack(tree_, inside).ok);
  std::string first = ReadWholeFile(inside);
  ASSERT_TRUE(Pack(tree_, inside).ok);
  ASSERT_TRUE(Pack(tree_, inside).ok);
  EXPECT_TRUE(first == ReadWholeFile(inside)) << "three runs, one book";
  {
    // Closed before the next run: a book held open cannot be replaced on every system.
    ZPK zpk;
    ASSERT_TRUE(zpk.Open(inside));
    for (auto& child : zpk.directory().Find("pages", NodeKind::kDirectory)->children)
      EXPECT_EQ(child->name.find("self.ebk"), std::string::npos) << child->name;
  }

  // Another file of the same name elsewhere is packed as usual.
  dir_.Write("tree/self.ebk", "not the book");
  ASSERT_TRUE(Pack(tree_, inside).ok);
  ZPK again;
  ASSERT_TRUE(again.Open(inside));
  EXPECT_EQ(Entry(again, "self.ebk"), "not the book");
}

TEST_F(PackFolderTest, FilesAreFoundAsTheBookWillFindThem) {
  EXPECT_EQ(FindFileIgnoringCase(tree_, "index.html"), tree_ + "/index.html");
  EXPECT_EQ(FindFileIgnoringCase(tree_, "INDEX.HTML"), tree_ + "/index.html");
  EXPECT_EQ(FindFileIgnoringCase(tree_, "\\Pages\\Deep/./ER/Leaf.CSS"), tree_ + "/pages/deep/er/leaf.css");
  EXPECT_EQ(FindFileIgnoringCase(tree_, "media/loud.wav"), tree_ + "/media/LOUD.WAV");
  // Folders, absent files, and names that climb out are no page.
  for (const char* absent : {"", "pages", "pages/c.html", "pages/../index.html", "../tree/index.html", "index.html/x"})
    EXPECT_EQ(FindFileIgnoringCase(tree_, absent), "") << absent;
}

TEST_F(PackFolderTest, TheRawSetCanBeReplaced) {
  PackFolderOptions options;
  std::string error;
  ASSERT_TRUE(ParseRawExtensions(".png", options.raw_extensions, error));
  PackFolderResult result = Pack(tree_, book_, options);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.raw_files, 1u);
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(book_));
  EXPECT_TRUE(Companion(zpk, book_, "img/noise.png") == ReadWholeFile(tree_ + "/img/noise.png"));
  EXPECT_TRUE(Entry(zpk, "media/tone.wav") == ReadWholeFile(tree_ + "/media/tone.wav"));
}

#ifndef _WIN32  // no symbolic links or pipes in the file system there
TEST_F(PackFolderTest, LinksInsideTheTreeAreFollowedOthersRefused) {
  ASSERT_EQ(::symlink("../index.html", (tree_ + "/pages/link.html").c_str()), 0);
  PackFolderResult result = Pack(tree_, book_);
  ASSERT_TRUE(result.ok) << result.error;
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(book_));
  EXPECT_EQ(Entry(zpk, "pages/link.html"), "<h1>start</h1>");
  zpk.Close();
  std::remove(book_.c_str());

  struct Case {
    const char* target;
    const char* reason;
  };
  std::string outside = dir_.Write("outside.txt", "secret");
  for (const Case& c : {Case{outside.c_str(), "out of the folder"}, Case{"../../outside.txt", "out of the folder"},
                        Case{"../pages", "to a folder"}, Case{"nowhere.html", "leads nowhere"}}) {
    SCOPED_TRACE(c.target);
    std::string link = tree_ + "/img/bad";
    std::remove(link.c_str());
    ASSERT_EQ(::symlink(c.target, link.c_str()), 0);
    PackFolderResult bad = Pack(tree_, book_);
    EXPECT_FALSE(bad.ok);
    EXPECT_EQ(bad.error.rfind(link + ": ", 0), 0u) << bad.error;
    EXPECT_NE(bad.error.find(c.reason), std::string::npos) << bad.error;
    EXPECT_TRUE(NoBookLeft(dir_.path()));
  }
}

#endif
#ifndef _WIN32  // names only a POSIX file system keeps apart, and pipes
TEST_F(PackFolderTest, UnpackableEntriesAreRefusedByName) {
  struct Case {
    std::string make;  // file to create under tree/
    std::string reason;
  };
  const Case cases[] = {
      {"pages/A.html", "only in letter case"},
      {"Pages/x.html", "only in letter case"},
      {"back\\slash.html", "'\\'"},
      {"movie.avi:", "can't end with ':'"},
      {"\x01" "odd.html", "can't start with byte 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.make);
    std::string made = dir_.Write("tree/" + c.make, "x");
    PackFolderResult result = Pack(tree_, book_);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find(c.reason), std::string::npos) << result.error;
    EXPECT_NE(result.error.find(tree_ + "/"), std::string::npos) << result.error;
    EXPECT_TRUE(NoBookLeft(dir_.path()));
    std::filesystem::remove_all(tree_ + "/Pages");
    std::remove(made.c_str());
  }

  ASSERT_EQ(::mkfifo((tree_ + "/pipe").c_str(), 0600), 0);
  PackFolderResult fifo = Pack(tree_, book_);
  EXPECT_FALSE(fifo.ok);
  EXPECT_EQ(fifo.error, tree_ + "/pipe: not a regular file or folder (device, pipe or socket)");
}

#endif
TEST_F(PackFolderTest, AMissingFolderOrAFileIsNoTree) {
  PackFolderResult missing = Pack(dir_.Join("absent"), book_);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.error.rfind(dir_.Join("absent") + ": ", 0), 0u);
  PackFolderResult file = Pack(tree_ + "/index.html", book_);
  EXPECT_FALSE(file.ok);
  EXPECT_EQ(file.error, tree_ + "/index.html: not a folder");
  EXPECT_TRUE(NoBookLeft(dir_.path()));

  // A folder given with a trailing slash is the same folder.
  ASSERT_TRUE(Pack(tree_ + "/", book_).ok);
  std::string with_slash = ReadWholeFile(book_);
  ASSERT_TRUE(Pack(tree_, book_).ok);
  EXPECT_TRUE(with_slash == ReadWholeFile(book_));
}

TEST(RawExtensionsTest, ListsParseAndMatchWithoutLetterCase) {
  std::set<std::string> set;
  std::string error;
  ASSERT_TRUE(ParseRawExtensions(".MP3, ogg ,.Wav", set, error));
  EXPECT_EQ(set, (std::set<std::string>{".mp3", ".ogg", ".wav"}));
  EXPECT_TRUE(HasRawExtension("song.Mp3", set));
  EXPECT_TRUE(HasRawExtension("a.b.ogg", set));
  EXPECT_FALSE(HasRawExtension("mp3", set));
  EXPECT_FALSE(HasRawExtension(".mp3", set));  // a hidden file's name, not an extension
  EXPECT_FALSE(HasRawExtension("song.mp3.html", set));
  EXPECT_FALSE(HasRawExtension("song.", set));

  ASSERT_TRUE(ParseRawExtensions("", set, error));
  EXPECT_TRUE(set.empty());
  for (const char* bad : {".a,,.b", ".", "a/b", "tar.gz", ","}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseRawExtensions(bad, set, error));
    EXPECT_TRUE(set.empty());
    EXPECT_FALSE(error.empty());
  }
  EXPECT_TRUE(DefaultRawExtensions().count(".wav"));
  EXPECT_TRUE(DefaultRawExtensions().count(".webm"));
  EXPECT_FALSE(DefaultRawExtensions().count(".html"));
}

}  // namespace
}  // namespace lectern
