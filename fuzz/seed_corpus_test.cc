#include "seed_corpus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "archive/directory_section.h"
#include "archive/zpk.h"
#ifdef LECTERN_SEARCH_INDEX_SEEDS
#include "search_index_book.h"
#include "panes/search_index.h"
#endif
#include "tests/support/temp_dir.h"

namespace lectern::testing {
namespace {

// The committed seeds are what the generator makes today, and they are still real input: books
// that open with every entry readable, bodies that load.
TEST(SeedCorpusTest, CommittedSeedsAreCurrentAndValid) {
  TempDir scratch;
  std::string corpus_dir = SourceDir() + "/fuzz/corpus";
  bool regenerate = std::getenv("LECTERN_REGENERATE_SEEDS") != nullptr;
  for (const auto& [fuzzer, seeds] : MakeSeedCorpus(scratch.path())) {
    for (const auto& [name, bytes] : seeds) {
      SCOPED_TRACE(fuzzer + "/" + name);
      ASSERT_FALSE(bytes.empty());
      EXPECT_LT(bytes.size(), 8192u) << "seeds stay small";
      std::string committed = corpus_dir + "/" + fuzzer + "/" + name;
      if (regenerate) WriteWholeFile(committed, bytes);
      EXPECT_TRUE(ReadWholeFile(committed) == bytes) << "stale seed; run scripts/make-fuzz-seeds";

      // Where the fuzzer's input carries a book, the book opens with every entry readable.
      std::string book;
      if (fuzzer == "zpk_fuzzer" || fuzzer == "book_contents_fuzzer") book = bytes;
      if (fuzzer == "book_file_stream_fuzzer") book = bytes.substr(64);
      if (fuzzer == "serving_fuzzer") book = bytes.substr(bytes.find("\n--book--\n") + 10);
      if (!book.empty()) {
        std::string path = scratch.Write(name, book);
        ZPK zpk;
        ASSERT_TRUE(zpk.Open(path));
        std::vector<uint8_t> content;
        for (const auto& child : zpk.directory().root()->children) {
          if (child->is_directory()) continue;
          EXPECT_TRUE(zpk.ReadWholeEntry("/" + child->name, content)) << child->name;
        }
#ifdef LECTERN_SEARCH_INDEX_SEEDS
      } else if (fuzzer == "search_index_fuzzer") {
        std::string index_book = scratch.Join("index-book.ebk");
        ASSERT_TRUE(WriteSearchIndexFuzzBook(index_book));
        CEbkManager* manager = CEbkManager::Create();
        ASSERT_EQ(manager->Open(Utf8ToWide(index_book).c_str()), S_OK);
        BookStamp stamp;
        ASSERT_TRUE(StampOfOpenBook(manager, stamp));
        std::string sealed = bytes;
        SealSearchIndex(sealed, stamp);
        std::string error;
        auto index = SearchIndex::Open(scratch.Write(name, sealed), manager, error);
        ASSERT_NE(index, nullptr) << error;
        std::vector<SearchHit> hits;
        EXPECT_EQ(index->Search({"alpha"}, hits), SearchIndex::Answer::kAnswered);
        EXPECT_EQ(hits.size(), 2u);
        manager->Release();
#endif
      } else if (fuzzer == "directory_records_fuzzer") {
        FileSystem fs;
        EXPECT_TRUE(LoadDirectoryRecords(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), fs));
        EXPECT_GT(fs.node_count(), 2u);
      }
    }
  }
}

}  // namespace
}  // namespace lectern::testing
