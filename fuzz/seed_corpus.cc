#include "seed_corpus.h"

#include <cstdio>

#include "archive/directory_section.h"
#include "archive/file_system.h"
#include "archive/test_books.h"
#include "tests/support/temp_dir.h"

namespace lectern::testing {
namespace {

ZpkWriterOptions Options(uint32_t version) {
  ZpkWriterOptions options;
  options.format_version = version;
  options.compress_level = LzoCompressor::kLevelFast;
  for (size_t i = 0; i < options.identity.size(); ++i) options.identity[i] = uint8_t(0x31 * (i + 1));
  return options;
}

std::string Book(const std::string& scratch, const TestBook& book) {
  std::string path = scratch + "/seed.ebk";
  std::string error;
  if (!WriteTestBook(path, book, &error)) {
    std::fprintf(stderr, "seed book: %s\n", error.c_str());
    return {};
  }
  std::string bytes = ReadWholeFile(path);
  std::remove(path.c_str());
  return bytes;
}

std::string Records(const std::vector<std::pair<std::string, bool>>& paths) {
  FileSystem fs;
  uint32_t offset = 44;
  for (const auto& [path, folder] : paths) {
    fs.ChangeDir("/");
    size_t start = 0;
    for (size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', start)) {
      std::string dir = path.substr(start, slash - start);
      fs.Add(dir, 0, NodeKind::kDirectory, true);
      fs.ChangeDir(dir);
      start = slash + 1;
    }
    fs.Add(path.substr(start), offset, folder ? NodeKind::kDirectory : NodeKind::kFile, true);
    offset += 97;
  }
  std::string out;
  AppendDirectoryRecords(*fs.root(), out);
  out.push_back('\xFF');
  return out;
}

}  // namespace

std::map<std::string, std::map<std::string, std::string>> MakeSeedCorpus(const std::string& scratch) {
  std::map<std::string, std::map<std::string, std::string>> corpus;

  TestBook small;
  small.options = Options(12);
  small.files = {{"index.htm", "<html><body><a href=\"pages/a.htm\">a</a></body></html>"},
                 {"pages/a.htm", "<p>page a</p><p>page a</p><p>page a</p>"},
                 {"pages/empty/", ""},
                 {"media/clip.wav", "RIFF....WAVEfmt raw bytes read in place"}};
  small.raw = {{"media/clip.wav", true}};
  small.settings = {{"bookname", "Seed"}, {"start_page", "index.htm"}, {"enable_toolbar", "true"}};
  small.config_document = "<config><title>Seed</title></config>";
  corpus["zpk_fuzzer"]["small-v12.ebk"] = Book(scratch, small);

  TestBook old = small;
  old.options = Options(10);
  corpus["zpk_fuzzer"]["small-v10.ebk"] = Book(scratch, old);

  TestBook appended;
  appended.options = Options(12);
  appended.files = {{"a.htm", std::string(600, 'a')}, {"b/c.htm", "c"}};
  appended.stub_path = scratch + "/stub";
  WriteWholeFile(appended.stub_path, std::string(64, 'S'));
  corpus["zpk_fuzzer"]["appended.ebk"] = Book(scratch, appended);

  TestBook empty;
  empty.options = Options(12);
  corpus["zpk_fuzzer"]["empty.ebk"] = Book(scratch, empty);

  corpus["directory_records_fuzzer"]["nested.bin"] =
      Records({{"index.htm", false}, {"pages/a.htm", false}, {"pages/deep/er/b.htm", false}, {"empty", true}});
  corpus["directory_records_fuzzer"]["companions.bin"] =
      Records({{"movie.avi", false}, {"movie.avi:", false}, {"Movie.AVI", false}, {"x/y:", false}});
  corpus["directory_records_fuzzer"]["utf8.bin"] =
      Records({{"caf\xC3\xA9/men\xC3\xBC.htm", false}, {"\xC3\xBC" "berblick.html", false}});
  return corpus;
}

}  // namespace lectern::testing
