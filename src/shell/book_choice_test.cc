#include "shell/book_choice.h"

#include <gtest/gtest.h>

#include <vector>

#include "archive/archive_error.h"
#include "archive/test_books.h"
#include "platform/message_box.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;

std::vector<std::string> g_messages;

// Records what start-up tells the user, for the life of one test.
class RecordedMessages {
 public:
  RecordedMessages() {
    g_messages.clear();
    previous_ = SetMessageBoxHandler([](void*, std::string_view text, std::string_view caption, unsigned) {
      g_messages.push_back(std::string(caption) + ": " + std::string(text));
      return int(kIdOk);
    });
  }
  ~RecordedMessages() { SetMessageBoxHandler(previous_); }

 private:
  MessageBoxHandler previous_;
};

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
  std::string picked = dir.Join("picked.ebk");
  book.stub_path.clear();
  ASSERT_TRUE(testing::WriteTestBook(picked, book));
  book.stub_path = dir.Join("reader");
  auto ask = [&]() -> std::optional<std::string> {
    ++asked;
    return picked;
  };
  auto cancel = []() -> std::optional<std::string> { return std::nullopt; };

  std::string book_arg = dir.Join("self-contained");
  const char* with_book[] = {"lectern", book_arg.c_str()};
  EXPECT_EQ(ChooseBookPath(2, with_book, plain, ask), book_arg);
  std::string project_path = dir.Write("project.BPJ", "not even XML");
  const char* project[] = {"lectern", project_path.c_str(), "ignored"};
  EXPECT_EQ(ChooseBookPath(3, project, plain, ask), project_path) << "no trailer test for projects";
  EXPECT_EQ(asked, 0);

  const char* none[] = {"lectern"};
  EXPECT_EQ(ChooseBookPath(1, none, book_arg, ask), book_arg) << "the program carries its book";
  EXPECT_EQ(ChooseBookPath(1, none, plain, ask), picked);
  EXPECT_EQ(asked, 1);
  RecordedMessages messages;
  const char* not_a_book[] = {"lectern", plain.c_str()};
  EXPECT_EQ(ChooseBookPath(2, not_a_book, book_arg, cancel), std::nullopt);
  EXPECT_EQ(g_messages, std::vector<std::string>{"Error: " + plain + ": not a book (no archive trailer or header)"});

  book.stub_path.clear();
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("bare.ebk"), book));
  std::string bare = dir.Join("bare.ebk");
  const char* bare_arg[] = {"lectern", bare.c_str()};
  EXPECT_EQ(ChooseBookPath(2, bare_arg, plain, cancel), bare) << "a bare book opens by name without a dialog";
}

TEST(BookChoiceTest, EveryBadPathIsReportedByNameAndWhyBeforeTheDialog) {
  TempDir dir;
  testing::TestBook book;
  book.files = {{"index.htm", "x"}};
  std::string good = dir.Join("good.ebk");
  ASSERT_TRUE(testing::WriteTestBook(good, book));
  std::string bytes = testing::ReadWholeFile(good);
  // The magic is there, the rest of the header is cut away: the archive cannot be opened.
  std::string damaged = dir.Write("damaged.ebk", bytes.substr(0, 39));
  std::string moved = bytes;
  moved.replace(28, 4, std::string("\x9C\x86\xCF\x00", 4));  // the directory offset, 13,600,412
  std::string past_end = dir.Write("past-end.ebk", moved);
  std::string empty = dir.Write("empty", "");
  std::string random = dir.Write("photo.jpg", std::string(5000, '\xA5'));
  std::string missing = dir.Join("missing.ebk");
  std::string missing_project = dir.Join("gone.bpj");

  struct Case {
    std::string path, says;
  };
  const Case cases[] = {
      {missing, missing + ": no such file"},
      {missing_project, missing_project + ": no such file"},
      {dir.path(), dir.path() + ": no such file"},
      {empty, empty + ": not a book (no archive trailer or header)"},
      {random, random + ": not a book (no archive trailer or header)"},
      {damaged, damaged + ": damaged: the file is too short to hold a book (39 bytes)"},
      {past_end, past_end + ": damaged: the directory at offset 13,600,412 lies past the end of the file (" +
                     GroupedNumber(bytes.size()) + " bytes)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    RecordedMessages messages;
    std::vector<std::string> offered = {random, good};  // a bad pick is reported too, then asked again
    auto ask = [&]() -> std::optional<std::string> {
      if (offered.empty()) return std::nullopt;
      std::string next = offered.front();
      offered.erase(offered.begin());
      return next;
    };
    const char* argv[] = {"lectern", c.path.c_str()};
    EXPECT_EQ(ChooseBookPath(2, argv, "", ask), good);
    EXPECT_EQ(g_messages, (std::vector<std::string>{"Error: " + c.says,
                                                     "Error: " + random + ": not a book (no archive trailer or header)"}));
  }
  EXPECT_TRUE(CheckBookPath(good).ok());
  EXPECT_TRUE(LooksLikeBook(damaged));
  EXPECT_FALSE(LooksLikeBook(random));
}

}  // namespace
}  // namespace lectern
