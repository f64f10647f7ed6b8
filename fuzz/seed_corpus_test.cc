#include "seed_corpus.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "archive/directory_section.h"
#include "archive/zpk.h"
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

      if (fuzzer == "zpk_fuzzer") {
        std::string path = scratch.Write(name, bytes);
        ZPK zpk;
        ASSERT_TRUE(zpk.Open(path));
        std::vector<uint8_t> content;
        for (const auto& child : zpk.directory().root()->children) {
          if (child->is_directory()) continue;
          EXPECT_TRUE(zpk.ReadWholeEntry("/" + child->name, content)) << child->name;
        }
      } else {
        FileSystem fs;
        EXPECT_TRUE(LoadDirectoryRecords(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), fs));
        EXPECT_GT(fs.node_count(), 2u);
      }
    }
  }
}

}  // namespace
}  // namespace lectern::testing
