// Datastore names arrive from pages, plug-ins and the view's URLs: every form must get an answer
// without overreading, and a normalised book path must never climb out of the datastore.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "datastore/datastore_path.h"
#include "datastore/serving.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckNormalised(std::string_view relative) {
  std::optional<std::string> normal = lectern::NormalizeBookPath(relative);
  if (!normal) return;
  Check(normal->empty() || normal->front() == '\\');
  Check(normal->find('/') == std::string::npos);
  Check(normal->find("\\\\") == std::string::npos);
  Check(normal->find("\\..\\") == std::string::npos && !normal->ends_with("\\.."));
  Check(lectern::NormalizeBookPath(*normal) == normal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  bool is_path = lectern::IsDatastorePath(text);
  std::string_view relative = lectern::DatastoreRelativePath(text);
  Check(is_path ? relative.size() + 12 == text.size() : relative == text);
  Check(lectern::IsDatastorePath(lectern::WideStringView(lectern::Utf8ToWide(text))) ==
        (is_path && lectern::IsDatastorePath(lectern::WideToUtf8(lectern::Utf8ToWide(text)))));
  CheckNormalised(relative);

  std::string url = lectern::DatastoreUrl(relative);
  Check(url.empty() == relative.empty());
  if (!url.empty()) Check(url.starts_with("file://c:/datastore/"));

  std::string title, wide_title;
  size_t length = lectern::ExtractHtmlTitle(text, title);
  Check(length == title.size() && length <= text.size());
  lectern::ExtractHtmlTitle(lectern::WideStringView(lectern::Utf8ToWide(text)), wide_title);

  if (std::optional<std::string> path = lectern::DatastorePathFromRequest(text)) {
    Check(lectern::IsDatastorePath(*path));
    Check(path->find('\0') == std::string::npos);
    CheckNormalised(lectern::DatastoreRelativePath(*path));
    lectern::MimeTypeForExtension(*path);
  }
  lectern::SniffMimeType(std::span<const uint8_t>(data, size));
  return 0;
}
