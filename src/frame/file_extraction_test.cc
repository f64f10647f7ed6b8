#include "frame/file_extraction.h"

#include <sys/stat.h>
#include <unistd.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "archive/test_books.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;
using testing::TestBook;

class ExtractionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 gen(11);
    media.resize(300000);
    for (char& c : media) c = char(gen());
    TestBook book;
    book.files = {{"docs/guide.pdf", "%PDF-1.4 stored"}, {"media/clip.ogg", media}, {"empty.txt", ""},
                  {"folder/", ""}};
    book.raw = {{"media/clip.ogg", true}};
    ASSERT_TRUE(testing::WriteTestBook(dir.Join("b.ebk"), book));
    manager = CEbkManager::Create();
    ASSERT_EQ(manager->Open(Utf8ToWide(dir.Join("b.ebk")).c_str()), S_OK);
  }
  void TearDown() override { manager->Release(); }

  // Nothing but the expected files: no half-written copy stays behind.
  size_t FilesIn(const std::string& folder) {
    size_t count = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(folder)) ++count;
    return count;
  }

  TempDir dir;
  TempDir out;
  std::string media;
  CEbkManager* manager = nullptr;
};

TEST_F(ExtractionTest, CopiesStoredAndRawFilesWhole) {
  EXPECT_EQ(ExtractBookFile(manager, "docs/guide.pdf", out.Join("guide.pdf")), ExtractResult::kDone);
  EXPECT_EQ(ReadWholeFile(out.Join("guide.pdf")), "%PDF-1.4 stored");
  EXPECT_EQ(ExtractBookFile(manager, "/media\\clip.ogg", out.Join("clip.ogg")), ExtractResult::kDone)
      << "book paths in the forms page script uses";
  EXPECT_EQ(ReadWholeFile(out.Join("clip.ogg")), media);
  EXPECT_EQ(FilesIn(out.path()), 2u);
  struct stat made;
  ASSERT_EQ(::stat(out.Join("guide.pdf").c_str(), &made), 0);
  EXPECT_NE(made.st_mode & S_IRUSR, 0u) << "a new file is readable, not left at the temporary file's mode";
}

// File modes, size limits and truncation are POSIX; the Windows build checks the rest.
#ifndef _WIN32
TEST_F(ExtractionTest, ReplacesAnExistingFileAndKeepsItsPermissions) {
  std::string target = out.Write("old.pdf", std::string(100000, 'o'));
  ::chmod(target.c_str(), 0640);
  EXPECT_EQ(ExtractBookFile(manager, "docs/guide.pdf", target), ExtractResult::kDone);
  EXPECT_EQ(ReadWholeFile(target), "%PDF-1.4 stored") << "shorter content leaves nothing of the old behind";
  struct stat replaced;
  ASSERT_EQ(::stat(target.c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_mode & 07777, 0640u);
}

#endif  // _WIN32

TEST_F(ExtractionTest, AMissingOrEmptySourceLeavesTheTargetWhole) {
  std::string target = out.Write("keep.txt", "precious");
  for (const char* source : {"no/such.file", "empty.txt", "folder", ""}) {
    SCOPED_TRACE(source);
    EXPECT_EQ(ExtractBookFile(manager, source, target), ExtractResult::kSourceMissing);
    EXPECT_EQ(ReadWholeFile(target), "precious");
  }
  EXPECT_EQ(ExtractBookFile(manager, "no/such.file", out.Join("new.txt")), ExtractResult::kSourceMissing);
  EXPECT_FALSE(std::filesystem::exists(out.Join("new.txt"))) << "no empty file is made for a wrong source";
  EXPECT_EQ(ExtractBookFile(nullptr, "docs/guide.pdf", target), ExtractResult::kSourceMissing) << "no book";
  EXPECT_EQ(FilesIn(out.path()), 1u);
}

#ifndef _WIN32
TEST_F(ExtractionTest, AFailedWriteLeavesTheTargetWhole) {
  std::string target = out.Write("keep.bin", "precious");
  // Writes beyond this size fail, as on a full disk.
  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  auto previous = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  ExtractResult result = ExtractBookFile(manager, "media/clip.ogg", target);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);
  EXPECT_EQ(result, ExtractResult::kCreateFailed);
  EXPECT_EQ(ReadWholeFile(target), "precious");
  EXPECT_EQ(FilesIn(out.path()), 1u) << "the partial copy is removed";
}

TEST_F(ExtractionTest, ASourceThatEndsEarlyIsNoCopy) {
  std::string target = out.Write("keep.ogg", "precious");
  // Raw companions are read in place from the book file; a book cut short after opening ends early.
  ASSERT_EQ(::truncate(dir.Join("b.ebk").c_str(), 2000), 0);
  EXPECT_EQ(ExtractBookFile(manager, "media/clip.ogg", target), ExtractResult::kSourceMissing);
  EXPECT_EQ(ReadWholeFile(target), "precious");
  EXPECT_EQ(FilesIn(out.path()), 1u);
}
#endif  // _WIN32

TEST_F(ExtractionTest, TargetsThatCannotBeFiles) {
  EXPECT_EQ(ExtractBookFile(manager, "docs/guide.pdf", out.Join("missing/folder/x.pdf")), ExtractResult::kCreateFailed);
  std::filesystem::create_directory(out.Join("a-folder"));
  out.Write("a-folder/inside.txt", "kept");
  EXPECT_EQ(ExtractBookFile(manager, "docs/guide.pdf", out.Join("a-folder")), ExtractResult::kCreateFailed);
  EXPECT_EQ(ReadWholeFile(out.Join("a-folder/inside.txt")), "kept");
  EXPECT_EQ(ExtractBookFile(manager, "docs/guide.pdf", ""), ExtractResult::kCreateFailed);
  EXPECT_EQ(FilesIn(out.path()), 1u);
}

}  // namespace
}  // namespace lectern
