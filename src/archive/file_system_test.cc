#include "archive/file_system.h"

#include <gtest/gtest.h>

#include <string>

#include "archive/directory_section.h"

namespace lectern {
namespace {

std::string FileRecord(const std::string& name, uint32_t offset) {
  std::string r = name;
  r.push_back('\0');
  for (int i = 0; i < 4; ++i) r.push_back(char(offset >> (8 * i)));
  return r;
}
std::string DirRecord(const std::string& name) { return "\x01" + name + std::string(1, '\0'); }
const std::string kLeave = "\x02";
const std::string kEnd = "\xFF";

bool Load(const std::string& body, FileSystem& fs) {
  return LoadDirectoryRecords(std::span(reinterpret_cast<const uint8_t*>(body.data()), body.size()), fs);
}

TEST(FileSystemTest, LookupIgnoresCaseAndSeparatorForms) {
  FileSystem fs;
  ASSERT_TRUE(Load(DirRecord("pages") + FileRecord("a.htm", 1234) + kLeave + kEnd, fs));
  const FsNode* a = fs.Find("pages/a.htm", NodeKind::kFile);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->data_offset, 1234u);
  EXPECT_EQ(fs.Find("\\PAGES\\A.HTM", NodeKind::kFile), a);
  EXPECT_EQ(fs.Find("pages//a.htm", NodeKind::kFile), a);
  EXPECT_EQ(fs.Find("pages\\./a.htm", NodeKind::kFile), a);
  EXPECT_EQ(fs.Find("pages/a.htm", NodeKind::kDirectory), nullptr);
  EXPECT_EQ(fs.Find("pages", NodeKind::kDirectory)->name, "pages");
  EXPECT_EQ(fs.Find("/", NodeKind::kFile), fs.root());
  EXPECT_EQ(fs.root()->name, "ZPK Root");
  EXPECT_EQ(fs.current(), fs.root());
  EXPECT_EQ(fs.Find("", NodeKind::kFile), nullptr);
  EXPECT_EQ(fs.Find("//", NodeKind::kDirectory), nullptr);
}

TEST(FileSystemTest, DotDotAndMissingMiddleComponents) {
  FileSystem fs;
  ASSERT_TRUE(Load(DirRecord("a") + DirRecord("b") + FileRecord("x", 1) + kLeave + kLeave + FileRecord("top", 2), fs));
  EXPECT_EQ(fs.Find("..", NodeKind::kFile), nullptr);  // at the root
  EXPECT_EQ(fs.ChangeDir(".."), fs.root());
  EXPECT_EQ(fs.Find("a/b/../../top", NodeKind::kFile)->data_offset, 2u);
  EXPECT_EQ(fs.Find("../../top", NodeKind::kFile)->data_offset, 2u);  // ".." stops at the root
  ASSERT_NE(fs.ChangeDir("a/b"), nullptr);
  FsNode* b = fs.current();
  EXPECT_EQ(fs.Find("x", NodeKind::kFile)->data_offset, 1u);
  EXPECT_EQ(fs.Find("missing/x", NodeKind::kFile), nullptr);
  EXPECT_EQ(fs.current(), b);
  EXPECT_EQ(fs.ChangeDir("missing"), nullptr);
  EXPECT_EQ(fs.current(), b);
  EXPECT_EQ(fs.Find("..", NodeKind::kFile)->name, "a");
  EXPECT_EQ(fs.Find("/top", NodeKind::kFile)->data_offset, 2u);
}

TEST(FileSystemTest, RecordRules) {
  {
    FileSystem fs;  // an empty directory name fails, keeping what came before
    EXPECT_FALSE(Load(FileRecord("first", 7) + DirRecord("") + FileRecord("later", 8), fs));
    EXPECT_NE(fs.Find("first", NodeKind::kFile), nullptr);
    EXPECT_EQ(fs.Find("later", NodeKind::kFile), nullptr);
  }
  {
    FileSystem fs;  // no end record: the body's end ends the load
    EXPECT_TRUE(Load(FileRecord("a", 1), fs));
    EXPECT_NE(fs.Find("a", NodeKind::kFile), nullptr);
  }
  {
    FileSystem fs;  // records after 0xFF are ignored
    EXPECT_TRUE(Load(FileRecord("a", 1) + kEnd + FileRecord("b", 2), fs));
    EXPECT_EQ(fs.Find("b", NodeKind::kFile), nullptr);
  }
  {
    FileSystem fs;  // duplicates: the first one wins
    EXPECT_TRUE(Load(FileRecord("same", 1) + FileRecord("SAME", 2), fs));
    EXPECT_EQ(fs.Find("same", NodeKind::kFile)->data_offset, 1u);
    EXPECT_EQ(fs.root()->children.size(), 1u);
    EXPECT_EQ(fs.Add("Same", 9, NodeKind::kFile, true)->data_offset, 1u);
  }
  for (const std::string& bad : {std::string("name-without-nul"), FileRecord("a", 1).substr(0, 4),
                                 std::string("\x01unterminated"), DirRecord(".."), DirRecord("a/b")}) {
    FileSystem fs;
    EXPECT_FALSE(Load(bad, fs)) << bad;
    EXPECT_EQ(fs.current(), fs.root()) << bad;
  }
}

TEST(FileSystemTest, RefusedRecordsSayWhereAndWhy) {
  struct Case {
    std::string body;
    int64_t offset;
    std::string description;
  } cases[] = {
      {FileRecord("a", 1) + DirRecord("sub") + DirRecord("..") + FileRecord("lost", 2), 11,
       "a folder record named \"..\""},
      {FileRecord("a", 1) + FileRecord("..", 2), 6, "a file record named \"..\""},
      {FileRecord("a\\b", 1), 0, "a file record named \"a\\b\""},
      {DirRecord("") , 0, "a folder record named \"\""},
      {FileRecord("a", 1) + "\x01open", 6, "a folder name runs past the end of the directory"},
      {FileRecord("abc", 1).substr(0, 6), 0, "the file record \"abc\" lacks its data offset"},
      {DirRecord(std::string(100, 'x')), 0, "a folder record named \"" + std::string(64, 'x') + "...\""},
  };
  cases[6].body = DirRecord(std::string(100, 'x') + "/");
  for (const Case& c : cases) {
    FileSystem fs;
    ArchiveError error;
    EXPECT_FALSE(LoadDirectoryRecords(std::span(reinterpret_cast<const uint8_t*>(c.body.data()), c.body.size()), fs,
                                      &error));
    EXPECT_EQ(error.offset, c.offset) << c.description;
    EXPECT_EQ(error.description, c.description);
  }
}

TEST(FileSystemTest, AddAndRemoveKeepTheIndexRight) {
  FileSystem fs;
  EXPECT_EQ(fs.Add("two/parts", 0, NodeKind::kFile, true), nullptr);
  EXPECT_EQ(fs.Add("new", 0, NodeKind::kFile, false), nullptr);
  FsNode* dir = fs.Add("x", 0, NodeKind::kDirectory, true);
  FsNode* file = fs.Add("X", 5, NodeKind::kFile, true);  // same name, other kind
  ASSERT_NE(dir, file);
  EXPECT_EQ(fs.Find("x", NodeKind::kDirectory), dir);
  EXPECT_EQ(fs.Find("x", NodeKind::kFile), file);
  fs.ChangeDir("x");
  fs.Add("inner", 1, NodeKind::kFile, true);
  EXPECT_TRUE(fs.Remove("/x", NodeKind::kDirectory));
  EXPECT_EQ(fs.current(), fs.root());  // the current directory was inside what went away
  EXPECT_EQ(fs.Find("X", NodeKind::kFile), file);
  EXPECT_EQ(fs.Find("x", NodeKind::kDirectory), nullptr);
  EXPECT_EQ(fs.node_count(), 2u);
  EXPECT_FALSE(fs.Remove("x", NodeKind::kDirectory));
  EXPECT_FALSE(fs.Remove("/", NodeKind::kDirectory));
}

TEST(FileSystemTest, HostileNestingNeitherRecursesNorLoops) {
  std::string body;
  for (int i = 0; i < 300000; ++i) body += DirRecord("d");
  body += FileRecord("deep", 3);
  for (int i = 0; i < 1000; ++i) body += DirRecord("d") + kLeave;  // repeated re-entry adds nothing
  FileSystem fs;
  EXPECT_TRUE(Load(body, fs));
  EXPECT_EQ(fs.node_count(), 300003u);  // the first re-entry at the bottom makes one more
  std::string records;
  AppendDirectoryRecords(*fs.root(), records);  // iterative writer on the same tree
  EXPECT_GT(records.size(), body.size() / 2);
}  // the destructor frees 300,000 levels without recursion

TEST(FileSystemTest, RoundTripThroughRecords) {
  FileSystem fs;
  fs.Add("a", 0, NodeKind::kDirectory, true);
  fs.ChangeDir("a");
  fs.Add("f1", 10, NodeKind::kFile, true);
  fs.Add("b", 0, NodeKind::kDirectory, true);
  fs.ChangeDir("b");
  fs.Add("f2", 20, NodeKind::kFile, true);
  fs.ChangeDir("/");
  fs.Add("f3", 30, NodeKind::kFile, true);
  std::string records;
  AppendDirectoryRecords(*fs.root(), records);
  records += kEnd;
  FileSystem copy;
  ASSERT_TRUE(Load(records, copy));
  EXPECT_EQ(copy.current(), copy.root());
  EXPECT_EQ(copy.Find("a/f1", NodeKind::kFile)->data_offset, 10u);
  EXPECT_EQ(copy.Find("a/b/f2", NodeKind::kFile)->data_offset, 20u);
  EXPECT_EQ(copy.Find("f3", NodeKind::kFile)->data_offset, 30u);
}

}  // namespace
}  // namespace lectern
