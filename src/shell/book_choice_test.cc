#include "shell/book_choice.h"

#include <gtest/gtest.h>

#include "archive/test_books.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;

TEST(BookChoiceTest, ProjectFilesAreKnownByTheirExtension) {
  EXPECT_TRUE(IsProjectPath("/books/guide.bpj"));
  EXPECT_TRUE(IsProjectPath("C:\\books\\GUIDE.BPJ"));
  EXPECT_FALSE(IsProjectPath("/books.bpj/guide"));
  EXPECT_FALSE(IsProjectPath("guide.bpjx"));
  EXPECT_FALSE(IsProjectPath(""));
}

TEST(BookChoiceTest, ArgumentThenOwnFileThenTheUser) {
  TempDir dir;
  testing::TestBook book;
  book.files = {{"index.htm", "x"}};
  book.stub_path = dir.Write("reader", "stub");
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("self-contained"), book));
  std::string plain = dir.Write("plain", "no book here");
  int asked = 0;
  auto ask = [&]() -> std::optional<std::string> {
    ++asked;
    return std::string("picked.ebk");
  };
  auto cancel = []() -> std::optional<std::string> { return std::nullopt; };

  std::string book_arg = dir.Join("self-contained");
  const char* with_book[] = {"lectern", book_arg.c_str()};
  EXPECT_EQ(ChooseBookPath(2, with_book, plain, ask), book_arg);
  const char* project[] = {"lectern", "missing/project.BPJ", "ignored"};
  EXPECT_EQ(ChooseBookPath(3, project, plain, ask), "missing/project.BPJ") << "no trailer test for projects";
  EXPECT_EQ(asked, 0);

  const char* none[] = {"lectern"};
  EXPECT_EQ(ChooseBookPath(1, none, book_arg, ask), book_arg) << "the program carries its book";
  EXPECT_EQ(ChooseBookPath(1, none, plain, ask), "picked.ebk");
  EXPECT_EQ(asked, 1);
  const char* not_a_book[] = {"lectern", plain.c_str()};
  EXPECT_EQ(ChooseBookPath(2, not_a_book, book_arg, cancel), std::nullopt);
}

}  // namespace
}  // namespace lectern
