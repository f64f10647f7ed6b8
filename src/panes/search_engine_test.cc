#include "panes/search_engine.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <span>

#include "archive/test_books.h"
#include "archive/zpk_writer.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;

// UTF-8 text re-encoded in a legacy code page, as an old page stores it.
std::string Encode(std::string_view utf8, const char* charset) {
  iconv_t cd = iconv_open(charset, "UTF-8");
  EXPECT_NE(cd, iconv_t(-1)) << charset;
  std::string out(utf8.size() * 4 + 8, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* o = out.data();
  size_t o_left = out.size();
  EXPECT_NE(iconv(cd, &in, &in_left, &o, &o_left), size_t(-1)) << charset;
  iconv_close(cd);
  out.resize(out.size() - o_left);
  return out;
}

std::string Utf16Page(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(char(c & 0xFF));
    bytes.push_back(char(c >> 8));
  }
  return bytes;
}

class SearchEngineTest : public ::testing::Test {
 protected:
  ~SearchEngineTest() override {
    if (manager_) manager_->Release();
  }

  void Open(const TestBook& book) {
    std::string error;
    std::string path = dir_.Join("book.ebk");
    ASSERT_TRUE(WriteTestBook(path, book, &error)) << error;
    OpenPath(path);
  }
  void OpenPath(const std::string& path) {
    if (manager_) manager_->Release();
    manager_ = CEbkManager::Create();
    ASSERT_EQ(manager_->Open(Utf8ToWide(path).c_str()), S_OK);
  }

  std::vector<std::string> HitPaths(std::string_view query, unsigned threads = 1) {
    auto result = SearchBook(query, manager_, nullptr, {threads, nullptr});
    std::vector<std::string> paths;
    if (result)
      for (const SearchHit& hit : result->hits) paths.push_back(hit.path);
    return paths;
  }

  TempDir dir_;
  CEbkManager* manager_ = nullptr;
};

using Paths = std::vector<std::string>;

TEST_F(SearchEngineTest, WalksDepthFirstInStoredOrder) {
  std::string path = dir_.Join("ordered.ebk");
  ZpkWriter writer;
  ASSERT_TRUE(writer.Begin(path, "", {}));
  auto add = [&](std::string_view name) {
    std::string text = "<p>needle</p>";
    ASSERT_TRUE(writer.AddFile(name, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
  };
  add("zeta.htm");
  add("sub/inner.htm");
  add("alpha.htm");
  add("sub/deeper/leaf.txt");
  add("sub/after.htm");
  ASSERT_TRUE(writer.AddDirectory("empty"));
  add("last");
  ASSERT_TRUE(writer.Finish()) << writer.error();
  OpenPath(path);

  Paths expected{"/zeta.htm", "/sub/inner.htm", "/sub/deeper/leaf.txt", "/sub/after.htm", "/alpha.htm", "/last"};
  Paths walked;
  for (const FsNode* node : SearchableFiles(manager_->book().directory())) walked.push_back(SearchPathOf(*node));
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(HitPaths("NEEDLE"), expected);
  EXPECT_EQ(HitPaths("needle", 3), expected);
}

TEST_F(SearchEngineTest, SkipsByExtensionAndRawCompanions) {
  TestBook book;
  for (std::string ext : {".gif", ".jpg", ".bmp", ".png", ".swf", ".exe", ".dll", ".zip", ".rar", ".pdf", ".idx",
                          ".jar", ".class", ".js", ".vbs", ".css", ".ocx"})
    book.files["skip" + ext] = "word";
  book.files["upper.CSS"] = "word";
  book.files["upper.Js"] = "word";
  book.files["page.htm"] = "word";
  book.files["notes.txt"] = "word";
  book.files["data.xml"] = "<word/>";
  book.files["README"] = "word";
  book.files["script.json"] = "word";
  book.files["dir.css/inner"] = "word";  // the extension is taken from the last path element only
  book.files["movie.mpg"] = "word";
  book.raw["movie.mpg"] = true;  // stored beside the tree as raw bytes: never read by the search
  Open(book);
  EXPECT_EQ(HitPaths("word"), (Paths{"/README", "/data.xml", "/dir.css/inner", "/notes.txt", "/page.htm", "/script.json"}));
  EXPECT_FALSE(IsSearchableExtension("a/b.JPG"));
  EXPECT_TRUE(IsSearchableExtension("a.jpg/b"));
  EXPECT_TRUE(IsSearchableExtension("noext"));
}

TEST_F(SearchEngineTest, EveryWordAsSubstringInAnyCaseMarkupIncluded) {
  TestBook book;
  book.files["both.htm"] = "<html><title>Both</title><a href=\"alpha.htm\">Two Words here</a></html>";
  book.files["apart.htm"] = "two and then words, alpha";
  book.files["only.htm"] = "<p class=\"ALPHA\">nothing else</p>";
  book.files["longer.htm"] = "alphabet: two words";
  Open(book);
  EXPECT_EQ(HitPaths("alpha \"two words\""), (Paths{"/both.htm", "/longer.htm"}));
  EXPECT_EQ(HitPaths("alpha"), (Paths{"/apart.htm", "/both.htm", "/longer.htm", "/only.htm"}));
  EXPECT_EQ(HitPaths("alpha missing"), Paths{});
}

TEST_F(SearchEngineTest, TitlesAndTheirAbsence) {
  TestBook book;
  book.files["a.htm"] = "<TITLE>Upper Title</TITLE> key";
  book.files["b.htm"] = "<title>lower</title> key";
  book.files["c.htm"] = "no title key";
  Open(book);
  auto result = SearchBook("key", manager_, nullptr);
  ASSERT_TRUE(result);
  ASSERT_EQ(result->hits.size(), 3u);
  EXPECT_EQ(result->hits[0].title, "Upper Title");
  EXPECT_EQ(result->hits[1].title, "lower");
  EXPECT_EQ(result->hits[2].path, "/c.htm");
  EXPECT_EQ(result->hits[2].title, "");
  EXPECT_EQ(result->words, (std::vector<std::string>{"key"}));
}

TEST_F(SearchEngineTest, EmptyQueryAndQueriesWithoutWords) {
  TestBook book;
  book.files["a.htm"] = "text";
  book.files["empty.htm"] = "";
  book.files["style.css"] = "text";
  Open(book);
  EXPECT_EQ(SearchBook("", manager_, nullptr), nullptr);
  EXPECT_EQ(HitPaths("   "), (Paths{"/a.htm"}));  // every non-empty searchable file
  EXPECT_EQ(HitPaths("\"\""), (Paths{"/a.htm"}));
  // No book: nothing is searched.
  auto result = SearchBook("text", nullptr, nullptr);
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->hits.empty());
  CSearchResult bare;
  EXPECT_FALSE(SearchFiles(nullptr, nullptr, bare));
}

TEST_F(SearchEngineTest, TextAfterTheFirstZeroIsNotSearched) {
  TestBook book;
  book.files["a.htm"] = std::string("before\0after", 12);
  Open(book);
  EXPECT_EQ(HitPaths("before"), (Paths{"/a.htm"}));
  EXPECT_EQ(HitPaths("after"), Paths{});
}

TEST(PageMatcherTest, AnEmptyPageHasNoBytesToLookAt) {
  std::string title = "left over";
  PageMatcher one_word({"x"});
  EXPECT_FALSE(one_word.Match(std::string_view(), title));
  PageMatcher no_words({});
  EXPECT_TRUE(no_words.Match(std::string_view(), title));
  EXPECT_EQ(title, "");
}

TEST_F(SearchEngineTest, Utf16PagesAreSearchedAsUtf16) {
  TestBook book;
  book.files["wide.htm"] = Utf16Page(OLESTR("<TITLE>\u041A\u043D\u0438\u0433\u0430</TITLE>Hello \u00C9T\u00C9 w\u00F6rld"));
  book.files["narrow.htm"] = "Hello";
  book.files["odd.htm"] = Utf16Page(OLESTR("ab")) + "c";  // an odd last byte ends the text as 'c'
  Open(book);
  auto result = SearchBook("hello \xC3\xA9t\xC3\xA9 W\xC3\x96RLD", manager_, nullptr);
  ASSERT_TRUE(result);
  ASSERT_EQ(result->hits.size(), 1u);
  EXPECT_EQ(result->hits[0].path, "/wide.htm");
  EXPECT_EQ(result->hits[0].title, "\xD0\x9A\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0");
  EXPECT_EQ(HitPaths("hello"), (Paths{"/narrow.htm", "/wide.htm"}));
  EXPECT_EQ(HitPaths("abc"), (Paths{"/odd.htm"}));
}

TEST_F(SearchEngineTest, NonAsciiLettersIgnoreCaseInUtf8) {
  TestBook book;
  book.files["ru.htm"] = "<p>\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0</p>";                 // Москва
  book.files["el.htm"] = "<p>\xCE\x9F\xCE\x94\xCE\xA3\xCE\xA3\xCE\x95\xCE\xA5\xCE\xA3</p>";  // ΟΔΣΣΕΥΣ
  book.files["de.htm"] = "<p>STRA\xE1\xBA\x9E" "E</p>";                                          // STRAẞE
  Open(book);
  EXPECT_EQ(HitPaths("\xD0\x9C\xD0\x9E\xD0\xA1\xD0\x9A\xD0\x92\xD0\x90"), (Paths{"/ru.htm"}));  // МОСКВА
  EXPECT_EQ(HitPaths("\xCE\xBF\xCE\xB4\xCF\x83\xCF\x83\xCE\xB5\xCF\x85\xCF\x82"), (Paths{"/el.htm"}));  // οδσσευς
  EXPECT_EQ(HitPaths("stra\xC3\x9F" "e"), (Paths{"/de.htm"}));
}

TEST_F(SearchEngineTest, DeclaredLegacyCodePagesAreSearchedAsTheyRead) {
  const std::string head = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
  TestBook book;
  book.files["cp1252.htm"] = "<meta charset=\"windows-1252\"><title>" + Encode("Caf\xC3\xA9", "WINDOWS-1252") +
                             "</title>" + Encode("\xC3\x89T\xC3\x89 \xE2\x82\xAC", "WINDOWS-1252");
  book.files["undeclared.htm"] = Encode("\xC3\x89T\xC3\x89 \xE2\x82\xAC", "WINDOWS-1252");
  book.files["latin9.htm"] = "<meta charset=iso-8859-15>" + Encode("\xC3\x84rger \xE2\x82\xAC", "ISO-8859-15");
  book.files["gbk.htm"] = head + "gb2312\">" + Encode("\xE4\xB8\xAD\xE6\x96\x87", "GBK");                  // 中文
  book.files["big5.htm"] = head + "big5\">" + Encode("\xE4\xB8\xAD\xE6\x96\x87", "BIG5");                  // 中文
  book.files["sjis.htm"] = head + "Shift_JIS\">" + Encode("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "SHIFT_JIS");  // 日本語
  book.files["eucjp.htm"] = head + "EUC-JP\">" + Encode("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "EUC-JP");
  book.files["euckr.htm"] = head + "euc-kr\">" + Encode("\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4", "EUC-KR");  // 한국어
  book.files["utf8.htm"] = "<meta charset=utf-8>\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xE4\xB8\xAD\xE6\x96\x87 \xE6\x97\xA5\xE6\x9C\xAC";
  Open(book);

  auto result = SearchBook("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC", manager_, nullptr);  // "été €"
  ASSERT_TRUE(result);
  ASSERT_EQ(result->hits.size(), 2u);
  EXPECT_EQ(result->hits[0].path, "/cp1252.htm");
  EXPECT_EQ(result->hits[0].title, "Caf\xC3\xA9");  // shown as the page reads
  EXPECT_EQ(result->hits[1].path, "/utf8.htm");     // the undeclared page keeps the byte-wise rule
  EXPECT_EQ(HitPaths("\xC3\xA4RGER \xE2\x82\xAC"), (Paths{"/latin9.htm"}));
  EXPECT_EQ(HitPaths("\xE4\xB8\xAD\xE6\x96\x87"), (Paths{"/big5.htm", "/gbk.htm", "/utf8.htm"}));
  EXPECT_EQ(HitPaths("\xE6\x97\xA5\xE6\x9C\xAC"), (Paths{"/eucjp.htm", "/sjis.htm", "/utf8.htm"}));
  EXPECT_EQ(HitPaths("\xED\x95\x9C\xEA\xB5\xAD"), (Paths{"/euckr.htm"}));
  // Stored bytes still match byte-wise, and ASCII words match in every page.
  EXPECT_EQ(HitPaths(Encode("\xC3\x89T\xC3\x89", "WINDOWS-1252")), (Paths{"/cp1252.htm", "/undeclared.htm"}));
  EXPECT_EQ(HitPaths("CONTENT-TYPE"), (Paths{"/big5.htm", "/eucjp.htm", "/euckr.htm", "/gbk.htm", "/sjis.htm"}));
}

class RecordingSink : public IProgressSinkImpl {
 public:
  void SetProgress(std::string_view text, int32_t number) override {
    texts.emplace_back(text);
    numbers.push_back(number);
    if (cancel && texts.size() == cancel_after) cancel->Cancel();
  }
  std::vector<std::string> texts;
  std::vector<int32_t> numbers;
  SearchCancel* cancel = nullptr;
  size_t cancel_after = 0;
};

TEST_F(SearchEngineTest, ProgressSinkHearsEveryFileInOrder) {
  TestBook book;
  std::string long_name(300, 'n');
  book.files["a/page.htm"] = "x";
  book.files["b.tar.gz"] = "x";
  book.files["pic.png"] = "x";
  book.files[long_name + ".htm"] = "x";
  Open(book);
  for (unsigned threads : {1u, 4u}) {
    RecordingSink sink;
    auto result = SearchBook("x", manager_, &sink, {threads, nullptr});
    ASSERT_TRUE(result);
    ASSERT_EQ(sink.texts.size(), 3u);
    EXPECT_EQ(sink.texts[0], "/a/page");
    EXPECT_EQ(sink.texts[1], "/b.tar");
    EXPECT_EQ(sink.texts[2], "/" + long_name.substr(0, 258));
    EXPECT_EQ(sink.numbers, (std::vector<int32_t>{0, 0, 0}));
  }
}

TestBook ManyPages(size_t count, unsigned seed) {
  TestBook book;
  std::mt19937 random(seed);
  const char* vocabulary[] = {"apple", "Banana", "cherry", "\xC3\x89T\xC3\x89", "date", "elder", "fig"};
  for (size_t i = 0; i < count; ++i) {
    std::string page = "<title>Page " + std::to_string(i) + "</title>";
    for (int w = 0; w < 40; ++w) page += std::string(vocabulary[random() % 7]) + " ";
    if (random() % 5 == 0) page.insert(0, "\xFF\xFE");
    const std::string folder = std::to_string(i % 7), subfolder = std::to_string(i % 3), number = std::to_string(i);
    std::string name = "f" + folder + "/d" + subfolder + "/p" + number + ".htm";
    book.files[name] = page;
  }
  return book;
}

TEST_F(SearchEngineTest, ParallelScanListsExactlyTheSingleThreadedHits) {
  Open(ManyPages(400, 7));
  for (std::string query : {"apple cherry fig", "\"banana \xC3\xA9t\xC3\xA9\"", "elder date", "nothing"}) {
    auto single = SearchBook(query, manager_, nullptr, {1, nullptr});
    auto parallel = SearchBook(query, manager_, nullptr, {4, nullptr});
    ASSERT_TRUE(single && parallel);
    ASSERT_EQ(single->hits.size(), parallel->hits.size()) << query;
    for (size_t i = 0; i < single->hits.size(); ++i) {
      EXPECT_EQ(single->hits[i].path, parallel->hits[i].path);
      EXPECT_EQ(single->hits[i].title, parallel->hits[i].title);
    }
  }
  EXPECT_GT(SearchBook("apple", manager_, nullptr)->hits.size(), 100u);
}

TEST_F(SearchEngineTest, CancelledSearchKeepsTheHitsFoundUpToThen) {
  Open(ManyPages(300, 11));
  auto full = SearchBook("apple", manager_, nullptr, {1, nullptr});
  ASSERT_TRUE(full);
  for (unsigned threads : {1u, 3u}) {
    SearchCancel cancel;
    RecordingSink sink;
    sink.cancel = &cancel;
    sink.cancel_after = 100;
    CSearchResult result(&sink);
    result.words = {"apple"};
    EXPECT_FALSE(SearchFiles(manager_, &manager_->book().directory(), result, {threads, &cancel}));
    EXPECT_LT(sink.texts.size(), 100u + threads + 1);
    ASSERT_LT(result.hits.size(), full->hits.size());
    for (size_t i = 0; i < result.hits.size(); ++i) EXPECT_EQ(result.hits[i].path, full->hits[i].path);
  }
  // Raised before the start: nothing is searched.
  SearchCancel early;
  early.Cancel();
  CSearchResult none;
  none.words = {"apple"};
  EXPECT_FALSE(SearchFiles(manager_, &manager_->book().directory(), none, {2, &early}));
  EXPECT_TRUE(none.hits.empty());
}

TEST_F(SearchEngineTest, CancelFromAnotherThread) {
  Open(ManyPages(300, 3));
  SearchCancel cancel;
  CSearchResult result;
  result.words = {"fig"};
  std::thread canceller([&] { cancel.Cancel(); });
  bool finished = SearchFiles(manager_, &manager_->book().directory(), result, {2, &cancel});
  canceller.join();
  // Either outcome is fine; a stopped search lists a prefix of the full one.
  auto full = SearchBook("fig", manager_, nullptr);
  ASSERT_LE(result.hits.size(), full->hits.size());
  if (finished) {
    EXPECT_EQ(result.hits.size(), full->hits.size());
  }
  for (size_t i = 0; i < result.hits.size(); ++i) EXPECT_EQ(result.hits[i].path, full->hits[i].path);
}

}  // namespace
}  // namespace lectern
