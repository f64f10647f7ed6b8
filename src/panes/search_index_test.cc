#include "panes/search_index.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <span>

#include "archive/zpk_writer.h"
#include "panes/query_words.h"
#include "tests/support/fetched_data.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// Pieces put together with appends: GCC 12 misreads chains of + on strings at -O3.
std::string Join(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (std::string_view part : parts) out += part;
  return out;
}

std::string Lines(const std::vector<SearchHit>& hits) {
  std::string out;
  for (const SearchHit& h : hits) out += h.path + "\t" + h.title + "\n";
  return out;
}

class SearchIndexTest : public ::testing::Test {
 protected:
  ~SearchIndexTest() override {
    if (manager_) manager_->Release();
  }
  // Writes a book of `files` (path, content) in the given order and opens it.
  void WriteAndOpen(const std::vector<std::pair<std::string, std::string>>& files) {
    ZpkWriter writer;
    ZpkWriterOptions options;
    options.compress_level = LzoCompressor::kLevelFast;
    ASSERT_TRUE(writer.Begin(book_, "", options)) << writer.error();
    for (const auto& [path, content] : files)
      ASSERT_TRUE(writer.AddFile(path, std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size())));
    ASSERT_TRUE(writer.Finish()) << writer.error();
    Reopen();
  }
  void Reopen() {
    if (manager_) manager_->Release();
    manager_ = CEbkManager::Create();
    ASSERT_EQ(manager_->Open(Utf8ToWide(book_).c_str()), S_OK);
  }
  std::unique_ptr<SearchIndex> OpenIndex(std::string* why = nullptr) {
    std::string error;
    std::unique_ptr<SearchIndex> index = SearchIndex::Open(index_path_, manager_, error);
    if (why) *why = error;
    return index;
  }
  std::string Scan(const std::string& query) {
    auto result = SearchBook(query, manager_, nullptr, {1, nullptr, nullptr});
    return result ? Lines(result->hits) : "<none>";
  }
  std::string Indexed(const std::string& query, const SearchIndex& index) {
    SearchOptions options;
    options.index = &index;
    auto result = SearchBook(query, manager_, nullptr, options);
    return result ? Lines(result->hits) : "<none>";
  }

  TempDir dir_;
  std::string book_ = dir_.Join("book.ebk");
  std::string index_path_ = dir_.Join(kSearchIndexFileName);
  CEbkManager* manager_ = nullptr;
};

// Pages the handbook lacks: another encoding, a declared code page, an empty file, text past a zero.
std::vector<std::pair<std::string, std::string>> OddPages() {
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("<title>Wide</title>Grüße aus UTF16land")) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  return {{"odd/wide.htm", utf16},
          {"odd/latin.htm", "<meta charset=\"iso-8859-1\"><title>Caf\xE9</title>Le caf\xE9 cr\xE8me du matin"},
          {"odd/empty.htm", ""},
          {"odd/zero.htm", std::string("before the zero", 15) + std::string(1, '\0') + "afterzero text"},
          {"odd/style.css", "package repository in a style sheet"}};
}

// The hand-picked tree of the handbook (English, Japanese, Russian, Greek) with the odd pages.
std::vector<std::pair<std::string, std::string>> HandbookFiles() {
  fs::path html = testing::FetchedData("debian-handbook") / "usr/share/doc/debian-handbook/html";
  std::vector<std::pair<std::string, std::string>> files;
  if (!fs::is_directory(html)) return files;
  std::vector<fs::path> paths;
  for (const char* language : {"en-US", "ja-JP", "ru-RU", "el-GR"})
    for (const auto& entry : fs::recursive_directory_iterator(html / language))
      if (entry.is_regular_file()) paths.push_back(entry.path());
  std::sort(paths.begin(), paths.end());
  for (const fs::path& file : paths) {
    std::ifstream in(file, std::ios::binary);
    files.push_back({fs::relative(file, html).generic_string(), std::string((std::istreambuf_iterator<char>(in)), {})});
  }
  for (auto& odd : OddPages()) files.push_back(odd);
  return files;
}

// The queries: words and phrases taken from the pages themselves in every case and kind the
// search meets, short words, markup, and words no page holds.
std::vector<std::string> Queries(const std::vector<std::pair<std::string, std::string>>& files) {
  std::mt19937 random(20240611);
  std::vector<std::string> words, non_ascii;
  for (const auto& [path, content] : files) {
    if (!IsSearchableExtension(path) || random() % 8) continue;
    std::string word;
    for (char c : content) {
      if (std::isspace(uint8_t(c)) || c == '<' || c == '>' || c == '"' || c == '=') {
        if (word.size() >= 3 && word.size() < 24) {
          words.push_back(word);
          if (std::any_of(word.begin(), word.end(), [](char w) { return uint8_t(w) >= 0x80; })) non_ascii.push_back(word);
        }
        word.clear();
      } else {
        word += c;
      }
    }
  }
  auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
  auto mixed_case = [&](std::string w) {
    for (char& c : w)
      if (random() % 2) c = char(std::toupper(uint8_t(c)));
    return w;
  };
  std::vector<std::string> queries;
  if (words.size() < 100 || non_ascii.size() < 20) return queries;
  for (int i = 0; i < 40; ++i) queries.push_back(pick(words));
  for (int i = 0; i < 30; ++i) queries.push_back(Join({"\"", pick(words), " ", pick(words), "\""}));
  for (int i = 0; i < 10; ++i) queries.push_back(Join({pick(words), " \"", pick(words), " ", pick(words), "\""}));
  for (int i = 0; i < 30; ++i) queries.push_back(mixed_case(pick(words)));
  for (int i = 0; i < 30; ++i) queries.push_back(i % 2 ? pick(non_ascii) : Join({pick(non_ascii), " ", pick(words)}));
  for (int i = 0; i < 15; ++i) queries.push_back(Join({std::string(1, char('a' + random() % 26)), " ", pick(words)}));
  for (int i = 0; i < 15; ++i) queries.push_back(pick(words).substr(0, 2));
  for (int i = 0; i < 10; ++i) queries.push_back(Join({pick(words).substr(0, 2), " ", pick(words)}));
  for (const char* markup : {"xmlns", "<div class=", "href=\"", "DOCTYPE", "charset=", "</TITLE>", "<meta",
                             "id=\"idm", "\"section\"", "http-equiv"})
    queries.push_back(markup);
  for (const char* odd : {"grüsse", "GRÜSSE aus", "café crème", "CAFÉ", "afterzero", "zero", "package repository",
                          "qzxjvwk", "\"\"", "é"})
    queries.push_back(odd);
  return queries;
}

TEST_F(SearchIndexTest, TwoHundredQueriesGiveTheScansHitsTitlesAndOrder) {
  std::vector<std::pair<std::string, std::string>> files = HandbookFiles();
  ASSERT_FALSE(files.empty()) << testing::MissingDataMessage("debian-handbook");
  ASSERT_NO_FATAL_FAILURE(WriteAndOpen(files));
  IndexBuildResult built = BuildSearchIndex(manager_, index_path_);
  ASSERT_TRUE(built.ok) << built.error;
  EXPECT_EQ(built.files, SearchableFiles(manager_->book().directory()).size());
  std::string why;
  std::unique_ptr<SearchIndex> index = OpenIndex(&why);
  ASSERT_NE(index, nullptr) << why;

  std::vector<std::string> queries = Queries(files);
  ASSERT_EQ(queries.size(), 200u);
  size_t answered = 0, with_hits = 0;
  for (const std::string& query : queries) {
    std::string scanned = Scan(query);
    EXPECT_EQ(Indexed(query, *index), scanned) << "query: " << query;
    std::vector<SearchHit> hits;
    if (index->Search(PageMatcher(SearchWords(query)).folded_words(), hits) == SearchIndex::Answer::kAnswered)
      ++answered;
    with_hits += !scanned.empty();
  }
  // The index must really answer most queries, and most must find something, or the test proves little.
  EXPECT_GT(answered, 150u);
  EXPECT_GT(with_hits, 150u);
}

// The window answers at once a query the index says is cheap: whatever comes back is the scan's.
TEST_F(SearchIndexTest, AnAnswerWithinABudgetIsTheScansOrNone) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 40; ++i)
    files.push_back({Join({"page", std::to_string(100 + i), ".htm"}),
                     Join({"<title>Page ", std::to_string(i), "</title>", std::string(1000, '.'), " common ",
                           i == 7 || i == 31 ? "rare" : ""})});
  ASSERT_NO_FATAL_FAILURE(WriteAndOpen(files));
  ASSERT_TRUE(BuildSearchIndex(manager_, index_path_).ok);
  std::unique_ptr<SearchIndex> index = OpenIndex();
  ASSERT_NE(index, nullptr);
  auto within = [&](const std::string& query, uint64_t budget) {
    std::unique_ptr<CSearchResult> result = SearchIndexWithin(query, *index, budget);
    return result ? Lines(result->hits) : "<none>";
  };
  constexpr uint64_t kAny = UINT64_MAX - 1;
  std::string rare = Scan("rare");
  EXPECT_EQ(std::count(rare.begin(), rare.end(), '\n'), 2);
  EXPECT_EQ(within("rare", 16 << 10), rare);
  // Every page is a candidate: more text than the budget allows, so the scan's thread answers.
  EXPECT_EQ(within("common", 16 << 10), "<none>");
  EXPECT_EQ(within("Common rare", kAny), Scan("common rare"));
  // Too short to narrow anything.
  EXPECT_EQ(within("ra", kAny), "<none>");
  // No candidate at all: nothing to compare, and no hit.
  EXPECT_EQ(within("zzqx", 0), "");
}

// Empty files (never hits) in every place of a group of neighbours, and a last group left short.
TEST_F(SearchIndexTest, EmptyFilesKeepTheGroupsInStep) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 15; ++i)
    files.push_back({Join({"f", std::to_string(100 + i), ".htm"}), i % 3 == 1 ? "" : Join({"word", std::to_string(100 + i)})});
  ASSERT_NO_FATAL_FAILURE(WriteAndOpen(files));
  ASSERT_TRUE(BuildSearchIndex(manager_, index_path_).ok);
  std::unique_ptr<SearchIndex> index = OpenIndex();
  ASSERT_NE(index, nullptr);
  for (int i = 0; i < 15; ++i) {
    std::string query = Join({"word", std::to_string(100 + i)});
    EXPECT_EQ(Indexed(query, *index), Scan(query)) << query;
    EXPECT_EQ(Indexed(query, *index).empty(), i % 3 == 1) << query;
  }
}

TEST_F(SearchIndexTest, AChangedBookIsIndexedAgain) {
  ASSERT_NO_FATAL_FAILURE(WriteAndOpen({{"a.htm", "<title>A</title>the first edition"}}));
  {
    SearchIndexKeeper keeper(manager_, index_path_);
    keeper.Wait();
    ASSERT_NE(keeper.ready(), nullptr);
    EXPECT_EQ(Indexed("edition", *keeper.ready()), "/a.htm\tA\n");
  }
  // Same identity and files, other content and time: the old index must not answer.
  sleep(1);
  ASSERT_NO_FATAL_FAILURE(WriteAndOpen({{"a.htm", "<title>A</title>the second printing"}}));
  std::string why;
  EXPECT_EQ(OpenIndex(&why), nullptr);
  EXPECT_EQ(why, "made for another book or another edition of it");
  SearchIndexKeeper keeper(manager_, index_path_);
  keeper.Wait();
  ASSERT_NE(keeper.ready(), nullptr);
  EXPECT_EQ(Indexed("printing", *keeper.ready()), "/a.htm\tA\n");
  EXPECT_EQ(Indexed("edition", *keeper.ready()), "");
}

TEST_F(SearchIndexTest, DamagedCutOrForeignIndexesAreRefusedAndRebuilt) {
  ASSERT_NO_FATAL_FAILURE(WriteAndOpen({{"a.htm", "<title>A</title>alpha beta gamma"}, {"b.txt", "beta delta"}}));
  ASSERT_TRUE(BuildSearchIndex(manager_, index_path_).ok);
  std::string good = testing::ReadWholeFile(index_path_);
  ASSERT_NE(OpenIndex(), nullptr);

  std::string why;
  testing::WriteWholeFile(index_path_, good.substr(0, good.size() - 7));
  EXPECT_EQ(OpenIndex(&why), nullptr);
  EXPECT_EQ(why, "damaged: cut short or grown");
  // Every byte after the header is covered by the checksum; a change in the header's own fields
  // is caught by their checks or the checksum they hold.
  for (size_t at = 0; at < good.size(); at += 1 + at / 8) {
    std::string changed = good;
    changed[at] = char(changed[at] ^ 0x20);
    testing::WriteWholeFile(index_path_, changed);
    EXPECT_EQ(OpenIndex(), nullptr) << "changed byte " << at;
  }
  testing::WriteWholeFile(index_path_, "not an index at all, but long enough to have a header's room in it, "
                                       "well over one hundred and twenty-eight bytes of it. 0123456789");
  EXPECT_EQ(OpenIndex(&why), nullptr);
  EXPECT_EQ(why, "damaged: not a search index");

  // The index of another book with the same identity and files.
  std::string other_book = dir_.Join("other.ebk");
  std::swap(book_, other_book);
  ASSERT_NO_FATAL_FAILURE(WriteAndOpen({{"a.htm", "<title>A</title>omega"}, {"b.txt", "beta"}}));
  ASSERT_TRUE(BuildSearchIndex(manager_, index_path_).ok);
  std::swap(book_, other_book);
  Reopen();
  EXPECT_EQ(OpenIndex(&why), nullptr);
  EXPECT_EQ(why, "made for another book or another edition of it");

  SearchIndexKeeper keeper(manager_, index_path_);
  keeper.Wait();
  ASSERT_NE(keeper.ready(), nullptr);
  EXPECT_EQ(Indexed("beta", *keeper.ready()), "/a.htm\tA\n/b.txt\t\n");
  EXPECT_EQ(Indexed("omega", *keeper.ready()), "");
}

TEST_F(SearchIndexTest, CancelStopsTheBuildAndTheSearch) {
  std::vector<std::pair<std::string, std::string>> files;
  for (int i = 0; i < 400; ++i) files.push_back({Join({"p", std::to_string(i), ".htm"}), Join({"common words ", std::to_string(i)})});
  ASSERT_NO_FATAL_FAILURE(WriteAndOpen(files));
  ASSERT_TRUE(BuildSearchIndex(manager_, index_path_).ok);
  std::string before = testing::ReadWholeFile(index_path_);

  SearchCancel cancel;
  cancel.Cancel();
  IndexBuildResult built = BuildSearchIndex(manager_, index_path_, &cancel);
  EXPECT_FALSE(built.ok);
  EXPECT_TRUE(built.cancelled);
  EXPECT_EQ(testing::ReadWholeFile(index_path_), before) << "the complete index stays";
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << "no partial file is left";

  std::unique_ptr<SearchIndex> index = OpenIndex();
  ASSERT_NE(index, nullptr);
  std::vector<SearchHit> hits;
  EXPECT_EQ(index->Search({"common"}, hits, &cancel), SearchIndex::Answer::kCancelled);
  EXPECT_TRUE(hits.empty());
  EXPECT_EQ(index->Search({"common"}, hits), SearchIndex::Answer::kAnswered);
  EXPECT_EQ(hits.size(), 400u);

  // A keeper that goes while it builds stops at once and leaves no partial file.
  ::unlink(index_path_.c_str());
  { SearchIndexKeeper keeper(manager_, index_path_); }
  for (const auto& entry : fs::directory_iterator(dir_.path()))
    EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

}  // namespace
}  // namespace lectern
