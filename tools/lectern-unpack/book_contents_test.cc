#include "lectern-unpack/book_contents.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "archive/test_books.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(gen());
  return s;
}

std::string Content(ZPK& zpk, const BookEntry& entry, std::string* error = nullptr, size_t* pieces = nullptr) {
  std::string out, message;
  size_t count = 0;
  bool ok = ReadBookEntry(
      zpk, entry,
      [&](std::span<const uint8_t> bytes) {
        out.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        ++count;
        return true;
      },
      message);
  if (error) *error = message;
  if (pieces) *pieces = count;
  return ok ? out : "<failed>";
}

std::vector<BookEntry> Collect(const ZPK& zpk) {
  std::vector<BookEntry> entries;
  VisitBookEntries(zpk, [&](const BookEntry& e) {
    entries.push_back(e);
    return true;
  });
  return entries;
}

class BookContentsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    book_.files = {{"index.html", "<p>home</p>"},
                   {"pages/a.html", std::string(40000, 'a')},
                   {"pages/empty.txt", ""},
                   {"media/clip.ogg", RandomBytes(1536 * 1024 + 5, 3)},
                   {"media/none.wav", ""},
                   {"spare/", ""}};
    book_.raw = {{"media/clip.ogg", true}, {"media/none.wav", true}};
    path_ = dir_.Join("b.ebk");
    ASSERT_TRUE(WriteTestBook(path_, book_));
    ASSERT_TRUE(zpk_.Open(path_));
  }

  const BookEntry* Find(const std::vector<BookEntry>& entries, const std::string& path) {
    for (const BookEntry& e : entries) {
      if (e.path == path) return &e;
    }
    return nullptr;
  }

  TempDir dir_;
  TestBook book_;
  std::string path_;
  ZPK zpk_;
};

TEST_F(BookContentsTest, ListingShowsWhatTheReaderServes) {
  std::vector<BookEntry> entries = Collect(zpk_);
  std::vector<std::string> paths;
  for (const BookEntry& e : entries) paths.push_back(e.path + (e.folder ? "/" : ""));
  // Folders come before their contents; companions are no entries of their own.
  EXPECT_EQ(paths, (std::vector<std::string>{"index.html", "media/", "media/clip.ogg", "media/none.wav", "pages/",
                                             "pages/a.html", "pages/empty.txt", "spare/"}));
  const BookEntry* clip = Find(entries, "media/clip.ogg");
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(clip->raw);
  EXPECT_TRUE(clip->intact);
  EXPECT_EQ(clip->content_size, book_.files["media/clip.ogg"].size());
  EXPECT_EQ(clip->stored_size, clip->content_size);
  EXPECT_EQ(clip->names, (std::vector<std::string_view>{"media", "clip.ogg"}));
  const BookEntry* a = Find(entries, "pages/a.html");
  EXPECT_FALSE(a->raw);
  EXPECT_EQ(a->content_size, 40000u);
  EXPECT_LT(a->stored_size, 1000u);
  EXPECT_TRUE(Find(entries, "media/none.wav")->raw);
  EXPECT_EQ(Find(entries, "media/none.wav")->content_size, 0u);
  EXPECT_FALSE(Find(entries, "pages/empty.txt")->raw);

  for (const BookEntry& e : entries) {
    if (e.folder) continue;
    SCOPED_TRACE(e.path);
    EXPECT_TRUE(Content(zpk_, e) == book_.files[e.path]);
  }
  // Raw content arrives in pieces, never whole.
  size_t pieces = 0;
  Content(zpk_, *clip, nullptr, &pieces);
  EXPECT_EQ(pieces, 2u);
}

TEST_F(BookContentsTest, FilesResolveAsTheReaderLooksThemUp) {
  BookEntry entry;
  ASSERT_TRUE(ResolveBookFile(zpk_, "PAGES\\A.HTML", entry));
  EXPECT_EQ(entry.path, "pages/a.html");
  ASSERT_TRUE(ResolveBookFile(zpk_, "/media//clip.ogg", entry));
  EXPECT_TRUE(entry.raw);

  bool is_folder = false;
  EXPECT_FALSE(ResolveBookFile(zpk_, "pages", entry, &is_folder));
  EXPECT_TRUE(is_folder);
  EXPECT_FALSE(ResolveBookFile(zpk_, "pages/missing.html", entry, &is_folder));
  EXPECT_FALSE(is_folder);
  // A companion is part of its file, not a file to ask for.
  EXPECT_FALSE(ResolveBookFile(zpk_, "media/clip.ogg:", entry, &is_folder));
  EXPECT_FALSE(ResolveBookFile(zpk_, "", entry, &is_folder));

  // Lookups start at the root even when the records left the current folder elsewhere.
  zpk_.directory().ChangeDir("pages");
  ASSERT_TRUE(ResolveBookFile(zpk_, "index.html", entry));
  EXPECT_TRUE(Content(zpk_, entry) == "<p>home</p>");
}

TEST_F(BookContentsTest, OrphanAndUnusedCompanionsFollowTheReadersRule) {
  FileSystem& tree = zpk_.directory();
  // The file gone, its companion still serves the file's name.
  ASSERT_TRUE(tree.Remove("media/clip.ogg", NodeKind::kFile));
  // A non-empty ordinary entry wins over a companion beside it.
  FsNode* none = tree.Find("media/none.wav", NodeKind::kFile);
  none->data_offset = tree.Find("pages/a.html", NodeKind::kFile)->data_offset;

  std::vector<BookEntry> entries = Collect(zpk_);
  const BookEntry* clip = Find(entries, "media/clip.ogg");
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(clip->raw);
  EXPECT_TRUE(Content(zpk_, *clip) == book_.files["media/clip.ogg"]);
  EXPECT_EQ(Find(entries, "media/clip.ogg:"), nullptr);
  const BookEntry* none_entry = Find(entries, "media/none.wav");
  EXPECT_FALSE(none_entry->raw);
  EXPECT_EQ(Content(zpk_, *none_entry), std::string(40000, 'a'));
  EXPECT_EQ(Find(entries, "media/none.wav:"), nullptr);

  BookEntry resolved;
  ASSERT_TRUE(ResolveBookFile(zpk_, "media/clip.ogg", resolved));
  EXPECT_EQ(resolved.path, "media/clip.ogg");
  EXPECT_TRUE(resolved.raw);
}

TEST_F(BookContentsTest, DamagedRecordsAreReportedNotRead) {
  FileSystem& tree = zpk_.directory();
  FsNode* a = tree.Find("pages/a.html", NodeKind::kFile);
  uint32_t compressed_record = a->data_offset;
  a->data_offset = uint32_t(zpk_.file_size() - 4);
  tree.Find("index.html", NodeKind::kFile)->data_offset = 0x80000010u;
  // A companion whose size claims more than its record stores (a compressed record's sizes).
  tree.Find("media/clip.ogg:", NodeKind::kFile)->data_offset = compressed_record;
  std::vector<BookEntry> entries = Collect(zpk_);
  for (const char* path : {"pages/a.html", "index.html", "media/clip.ogg"}) {
    SCOPED_TRACE(path);
    const BookEntry* e = Find(entries, path);
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(e->intact);
    std::string error;
    EXPECT_EQ(Content(zpk_, *e, &error), "<failed>");
    EXPECT_NE(error.find("damaged"), std::string::npos);
  }
  ExtractResult result = ExtractBook(zpk_, dir_.Join("out"));
  EXPECT_EQ(result.problems.size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(dir_.Join("out/pages/a.html")));
  EXPECT_TRUE(ReadWholeFile(dir_.Join("out/pages/empty.txt")).empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir_.Join("out/spare")));
}

TEST(SafeNameTest, OnlyPlainComponentsPass) {
  for (const char* good : {"a", "a.html", "..a", "a..", "...", "\xC3\xBC" "berblick.html", "name:", " "}) {
    EXPECT_TRUE(IsSafeName(good)) << good;
  }
  for (std::string_view bad : {std::string_view(""), std::string_view("."), std::string_view(".."),
                               std::string_view("../x"), std::string_view("/etc"), std::string_view("a\\b"),
                               std::string_view("a\0b", 3)}) {
    EXPECT_FALSE(IsSafeName(bad)) << bad;
  }
}

TEST_F(BookContentsTest, ExtractionNeverLeavesTheTarget) {
  // Names the directory parser would never make, put straight into the tree to prove that the
  // extraction does not rely on it.
  FileSystem& tree = zpk_.directory();
  uint32_t index_offset = tree.Find("index.html", NodeKind::kFile)->data_offset;
  auto inject = [&](FsNode* parent, const std::string& name, NodeKind kind) {
    auto node = std::make_unique<FsNode>();
    node->name = name;
    node->kind = kind;
    node->parent = parent;
    node->data_offset = index_offset;
    FsNode* raw = node.get();
    parent->children.push_back(std::move(node));
    return raw;
  };
  FsNode* root = tree.root();
  inject(root, "../escaped.html", NodeKind::kFile);
  inject(root, "..", NodeKind::kFile);
  inject(root, "/tmp/absolute.html", NodeKind::kFile);
  inject(inject(root, "..", NodeKind::kDirectory), "up.html", NodeKind::kFile);
  inject(inject(root, ".", NodeKind::kDirectory), "here.html", NodeKind::kFile);
  inject(root, "", NodeKind::kFile);

  std::string target = dir_.Join("jail/out");
  ExtractResult result = ExtractBook(zpk_, target);
  // Each unsafe name is one problem (a folder's contents are refused with it).
  EXPECT_EQ(result.problems.size(), 8u);
  for (const std::string& p : result.problems) EXPECT_NE(p.find("unsafe name"), std::string::npos) << p;
  std::vector<std::string> outside;
  auto same_form = [](const std::string& path) { return std::filesystem::path(path).generic_string(); };
  for (auto& e : std::filesystem::recursive_directory_iterator(dir_.path())) {
    std::string p = e.path().generic_string();
    if (p.rfind(same_form(target), 0) != 0 && p != same_form(dir_.Join("jail")) && p != same_form(path_))
      outside.push_back(p);
  }
  EXPECT_TRUE(outside.empty()) << outside.front();
  EXPECT_FALSE(std::filesystem::exists("/tmp/absolute.html"));
  EXPECT_EQ(ReadWholeFile(target + "/index.html"), "<p>home</p>");
  EXPECT_EQ(result.files, 5u);
  EXPECT_EQ(result.folders, 3u);
}

#ifndef _WIN32  // symbolic links need privileges there
TEST_F(BookContentsTest, LinksInTheTargetAreNotFollowed) {
  TempDir elsewhere;
  std::string target = dir_.Join("out");
  std::filesystem::create_directories(target);
  ASSERT_EQ(::symlink(elsewhere.path().c_str(), (target + "/pages").c_str()), 0);
  ASSERT_EQ(::symlink(elsewhere.Join("stolen").c_str(), (target + "/index.html").c_str()), 0);
  ExtractResult result = ExtractBook(zpk_, target);
  EXPECT_EQ(result.problems.size(), 4u);  // pages/, its two files, index.html
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
  // Everything else arrived, and an existing file is replaced.
  EXPECT_TRUE(ReadWholeFile(target + "/media/clip.ogg") == book_.files["media/clip.ogg"]);
  testing::WriteWholeFile(target + "/media/none.wav", "old");
  result = ExtractBook(zpk_, target);
  EXPECT_EQ(ReadWholeFile(target + "/media/none.wav"), "");
}
#endif

}  // namespace
}  // namespace lectern
