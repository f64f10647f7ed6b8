#include "bench/bench_support.h"

#include "archive/pack_folder.h"
#include "tests/support/fetched_data.h"

namespace lectern::bench {

namespace fs = std::filesystem;

fs::path BenchDataFolder() {
  fs::path folder = fs::path(LECTERN_SOURCE_DIR) / "bench" / "data";
  std::error_code ignored;
  fs::create_directories(folder, ignored);
  return folder;
}

fs::path HandbookHtml(std::string& error) {
  std::string why;
  fs::path root = testing::FetchData("debian-handbook", &why);
  if (root.empty()) {
    error = "the debian-handbook package could not be fetched: " + why;
    return {};
  }
  fs::path html = root / "usr/share/doc/debian-handbook/html";
  if (!fs::is_directory(html)) error = "the debian-handbook package has no " + html.string();
  return fs::is_directory(html) ? html : fs::path();
}

bool PackFolderToBook(const fs::path& folder, const fs::path& book, const ZpkWriterOptions& options,
                      const std::map<std::string, std::string>& settings, std::string& error) {
  ZpkWriter writer;
  if (!writer.Begin(book.string(), "", options)) {
    error = "cannot write " + book.string() + ": " + writer.error();
    return false;
  }
  PackFolderResult packed = PackFolder(folder.string(), writer);
  if (!packed.ok) {
    error = "cannot pack " + folder.string() + ": " + packed.error;
    return false;
  }
  if (!writer.SetSettings(settings) || !writer.Finish()) {
    error = "cannot write " + book.string() + ": " + writer.error();
    return false;
  }
  return true;
}

std::string PackedHandbook(const std::string& bench, const ZpkWriterOptions& options,
                           const std::map<std::string, std::string>& settings, std::string& error) {
  fs::path book = BenchDataFolder() / (bench + "-handbook.ebk");
  if (fs::exists(book)) return book.string();
  fs::path html = HandbookHtml(error);
  if (html.empty() || !PackFolderToBook(html, book, options, settings, error)) return {};
  return book.string();
}

}  // namespace lectern::bench
