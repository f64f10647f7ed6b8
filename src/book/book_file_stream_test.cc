#include "book/book_file_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "archive/test_books.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;

class StreamFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 gen(5);
    media.resize(200000);
    for (char& c : media) c = char(gen());
    TestBook book;
    book.files = {{"page.htm", "0123456789"}, {"clip.ogg", media}, {"folder/", ""}};
    book.raw = {{"clip.ogg", true}};
    ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
    manager = CEbkManager::Create();
    ASSERT_EQ(manager->Open(Utf8ToWide(dir.Join("b.ebk")).c_str()), S_OK);
  }
  void TearDown() override { manager->Release(); }

  TempDir dir;
  std::string media;
  CEbkManager* manager = nullptr;
};

TEST_F(StreamFixture, MemoryModeReadsAndSeeks) {
  BookFileStream stream(manager);
  ASSERT_TRUE(stream.Open(OLESTR("page.htm")));
  EXPECT_EQ(stream.mode(), BookFileStream::Mode::kMemory);
  char buf[4];
  ASSERT_EQ(stream.Read(buf, 4), 4u);
  EXPECT_EQ(std::string(buf, 4), "0123");
  EXPECT_EQ(stream.Seek(3, BookFileStream::kFromCurrent), 7);
  EXPECT_EQ(stream.Read(buf, 4), 3u);
  EXPECT_EQ(std::string(buf, 3), "789");
  EXPECT_EQ(stream.Read(buf, 4), 0u);

  EXPECT_EQ(stream.Seek(10, BookFileStream::kFromStart), -1) << "offset at the length";
  EXPECT_EQ(stream.position(), 10u);
  EXPECT_EQ(stream.Seek(0, BookFileStream::kFromEnd), 10) << "offset 0 from the end is the end";
  EXPECT_EQ(stream.Seek(2, BookFileStream::kFromEnd), 8);
  EXPECT_EQ(stream.Seek(2, BookFileStream::kFromCurrent), -1) << "would reach the length";
  EXPECT_EQ(stream.position(), 8u);
  EXPECT_EQ(stream.Seek(1, 7), 8) << "unknown origin leaves the position";
}

TEST_F(StreamFixture, RawModeStreamsFromTheBookFile) {
  BookFileStream stream(manager);
  ASSERT_TRUE(stream.Open(OLESTR("clip.ogg")));
  EXPECT_EQ(stream.mode(), BookFileStream::Mode::kRaw);
  EXPECT_EQ(stream.length(), media.size());
  std::string read;
  char chunk[4096];
  while (uint32_t n = stream.Read(chunk, sizeof chunk)) read.append(chunk, n);
  EXPECT_TRUE(read == media);
  ASSERT_EQ(stream.Seek(100, BookFileStream::kFromEnd), int64_t(media.size() - 100));
  ASSERT_EQ(stream.Read(chunk, 1000), 100u);
  EXPECT_EQ(std::string(chunk, 100), media.substr(media.size() - 100));
}

TEST_F(StreamFixture, ParallelRawStreamsShareTheDescriptor) {
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      BookFileStream stream(manager);
      if (!stream.Open(OLESTR("clip.ogg"))) return void(++wrong);
      char chunk[1000];
      for (uint32_t at = uint32_t(t) * 1000; at + 1000 < media.size(); at += 4000) {
        stream.Seek(at, BookFileStream::kFromStart);
        if (stream.Read(chunk, 1000) != 1000 || std::string(chunk, 1000) != media.substr(at, 1000)) ++wrong;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(wrong, 0);
}

TEST_F(StreamFixture, OpensFailWithoutAFileOrAManager) {
  BookFileStream stream(manager);
  EXPECT_FALSE(stream.Open(OLESTR("missing.htm")));
  EXPECT_FALSE(stream.Open(OLESTR("folder")));
  BookFileStream orphan(nullptr);
  EXPECT_FALSE(orphan.Open(OLESTR("page.htm")));
  char c;
  EXPECT_EQ(orphan.Read(&c, 1), 0u);
}

}  // namespace
}  // namespace lectern
