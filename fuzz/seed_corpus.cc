#include "seed_corpus.h"

#include <cstdio>

#include "archive/directory_section.h"
#include "archive/file_system.h"
#include "archive/test_books.h"
#ifdef LECTERN_SEARCH_INDEX_SEEDS
#include "search_index_book.h"
#include "panes/search_index.h"
#endif
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

  // lectern-unpack reads the same books.
  corpus["book_contents_fuzzer"]["small-v12.ebk"] = corpus["zpk_fuzzer"]["small-v12.ebk"];
  corpus["book_contents_fuzzer"]["appended.ebk"] = corpus["zpk_fuzzer"]["appended.ebk"];

  // 64 bytes of moves (origin, offset, how much to read), then the book.
  std::string moves;
  for (int i = 0; i < 64; ++i) moves.push_back(char(i % 6 == 0 ? 0x80 | (i / 6 % 3) : i * 7));
  corpus["book_file_stream_fuzzer"]["small-v12.bin"] = moves + corpus["zpk_fuzzer"]["small-v12.ebk"];

  // A request, ranges as (offset, length) pairs, then the book.
  std::string ranges = std::string("\0\0\0\0\x10\0\0\0", 8) + std::string("\x05\0\0\0\x20\0\0\0", 8);
  corpus["serving_fuzzer"]["page.bin"] =
      "file:///c:/datastore/pages/a.htm?x=1#y\n" + ranges + "\n--book--\n" + corpus["zpk_fuzzer"]["small-v12.ebk"];
  corpus["serving_fuzzer"]["raw.bin"] =
      "file://c:/datastore/media/clip.wav\n" + ranges + "\n--book--\n" + corpus["zpk_fuzzer"]["small-v12.ebk"];

  // The query's line, then the page.
  corpus["page_match_fuzzer"]["latin1.txt"] =
      "caf\xC3\xA9 menu\n<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">"
      "<title>Caf\xE9</title></head><body>Caf\xE9 and menu</body></html>";
  corpus["page_match_fuzzer"]["utf8.txt"] = "needle\n<title>\xC3\x9C</title><p>a NEEDLE here</p>";
  corpus["page_match_fuzzer"]["utf16.txt"] = std::string("x\n\xFF\xFE<\0t\0i\0t\0l\0e\0>\0X\0", 20);
  corpus["page_match_fuzzer"]["gbk.txt"] = "\xE4\xB8\xAD\n<meta charset=\"gb2312\"><title>\xD6\xD0</title>\xD6\xD0";

  // The source in the first byte: 0 a configuration document, 1 a directory body, 2 bare records.
  corpus["contents_tree_fuzzer"]["toc.txt"] =
      std::string(1, '\0') +
      "<config><toc><item text='Start' url='index.htm'><item text='A' url='pages/a.htm'/>"
      "<item text='Section'><item text='Deep' url='x/y.htm#top'/></item></item></toc></config>";
  corpus["contents_tree_fuzzer"]["records.bin"] =
      "\x01" + Records({{"index.htm", false}, {"pages/a.htm", false}, {"pages/b/c.htm", false}, {"empty", true}});
  // Kinds: 0 folder, 1 leave (here once past the root), 2 file, 3 end; names end in NUL.
  std::string bare = "\x02";
  for (std::string_view piece : {std::string_view("\x00" "folder\0", 8), std::string_view("\x02" "a.htm\0", 7),
                                 std::string_view("\x01\x01\x01", 3), std::string_view("\x00" "other\0", 7),
                                 std::string_view("\x03", 1)})
    bare += piece;
  corpus["contents_tree_fuzzer"]["bare.bin"] = bare;

  corpus["directory_records_fuzzer"]["nested.bin"] =
      Records({{"index.htm", false}, {"pages/a.htm", false}, {"pages/deep/er/b.htm", false}, {"empty", true}});
  corpus["directory_records_fuzzer"]["companions.bin"] =
      Records({{"movie.avi", false}, {"movie.avi:", false}, {"Movie.AVI", false}, {"x/y:", false}});
  corpus["directory_records_fuzzer"]["utf8.bin"] =
      Records({{"caf\xC3\xA9/men\xC3\xBC.htm", false}, {"\xC3\xBC" "berblick.html", false}});
#ifdef LECTERN_SEARCH_INDEX_SEEDS
  // The index of the search index fuzzer's book, with no stamp: the fuzzer gives it its book's.
  std::string index_book = scratch + "/index-book.ebk";
  if (WriteSearchIndexFuzzBook(index_book)) {
    CEbkManager* manager = CEbkManager::Create();
    std::string index_path = scratch + "/" + kSearchIndexFileName;
    if (manager->Open(Utf8ToWide(index_book).c_str()) == S_OK && BuildSearchIndex(manager, index_path).ok) {
      std::string bytes = ReadWholeFile(index_path);
      SealSearchIndex(bytes, BookStamp{});
      corpus["search_index_fuzzer"]["small-book.idx"] = bytes;
    }
    manager->Release();
    std::remove(index_path.c_str());
    std::remove(index_book.c_str());
  }
#endif
  return corpus;
}

}  // namespace lectern::testing
