#include "archive/test_books.h"

#include <cstdio>
#include <span>

#include "tests/support/temp_dir.h"

namespace lectern::testing {

bool WriteTestBook(const std::string& path, const TestBook& book, std::string* error) {
  ZpkWriter writer;
  bool ok = writer.Begin(path, book.stub_path, book.options);
  for (const auto& [name, content] : book.files) {
    if (!ok) break;
    if (!name.empty() && name.back() == '/') {
      ok = writer.AddDirectory(name);
    } else if (book.raw.count(name)) {
      std::string source = path + ".raw-source";
      WriteWholeFile(source, content);
      ok = writer.AddRawFile(name, source);
      std::remove(source.c_str());
    } else {
      ok = writer.AddFile(name, std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
    }
  }
  if (ok && !book.settings.empty()) ok = writer.SetSettings(book.settings);
  writer.SetConfigDocument(book.config_document);
  if (ok) ok = writer.Finish();
  if (!ok && error) *error = writer.error();
  return ok;
}

}  // namespace lectern::testing
