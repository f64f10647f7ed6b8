#include "archive/file_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "archive/test_books.h"
#include "archive/zpk.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;

std::string Bytes(const FileView& view, int64_t at, size_t size) {
  std::string out = "<refused>";
  view.Use(at, size, [&](const uint8_t* bytes) {
    out.assign(reinterpret_cast<const char*>(bytes), size);
    return true;
  });
  return out;
}

TEST(FileViewTest, ServesExactlyTheFilesBytes) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 3000; ++i) text += char('a' + i % 26);
  int fd = ::open(dir.Write("f", text).c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  FileView view;
  view.Open(fd, int64_t(text.size()));
  EXPECT_EQ(Bytes(view, 0, 5), "abcde");
  EXPECT_EQ(Bytes(view, 2990, 10), text.substr(2990));
  EXPECT_EQ(Bytes(view, 3000, 0), "");
  EXPECT_EQ(Bytes(view, 2995, 6), "<refused>") << "one byte past the end";
  EXPECT_EQ(Bytes(view, -1, 2), "<refused>");
  EXPECT_EQ(Bytes(view, 1ll << 40, 1), "<refused>");
  EXPECT_FALSE(view.Use(0, 4, [](const uint8_t*) { return false; })) << "the reader's own answer comes back";
  view.Close();
  EXPECT_EQ(Bytes(view, 0, 1), "<refused>") << "closed";
  ::close(fd);
}

// A book cut short by another program while it is open: the lost pages fail their reads, the
// rest still serve, and the process lives on.
TEST(FileViewTest, BookCutShortWhileOpenFailsItsReads) {
  TempDir dir;
  testing::TestBook book;
  std::string tail;
  uint32_t seed = 12345;  // incompressible, so its stored bytes reach far past the first page
  for (int i = 0; i < 200000; ++i) tail += char('0' + ((seed = seed * 1103515245u + 12345u) >> 16) % 75);
  book.files = {{"first.htm", "<p>first</p>"}, {"tail.htm", tail}};
  std::string path = dir.Join("b.ebk");
  ASSERT_TRUE(testing::WriteTestBook(path, book));
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(path));
  std::vector<uint8_t> content;
  ASSERT_TRUE(zpk.ReadWholeEntry("tail.htm", content));
  ASSERT_EQ(std::string(content.begin(), content.end()), tail);

#ifdef _WIN32
  // The system may refuse to cut a file another handle holds open; then there is nothing to test.
  if (::truncate(path.c_str(), 4096) != 0) GTEST_SKIP() << "the file can't be cut while open";
#else
  ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
#endif
  EXPECT_FALSE(zpk.ReadWholeEntry("tail.htm", content)) << "its stored bytes are gone";
  ASSERT_TRUE(zpk.ReadWholeEntry("first.htm", content)) << "the first page lies in the kept page";
  EXPECT_EQ(std::string(content.begin(), content.end()), "<p>first</p>");
}

}  // namespace
}  // namespace lectern
