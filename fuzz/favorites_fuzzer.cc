// The bookmarks file reader on arbitrary bytes: parsing, the adding rules, and a write and read
// again that must give back the same list.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "panes/favorites_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  lectern::FavoritesStore store;
  bool answer = false;
  for (const lectern::Bookmark& b : lectern::ParseFavoritesFile(bytes)) {
    if (b.name.empty() || b.url.empty()) std::abort();
    store.Add(b.url, b.name, [&](const lectern::Bookmark&, std::string_view) { return answer = !answer; });
  }
  auto again = lectern::ParseFavoritesFile(lectern::EncodeFavoritesFile(store.bookmarks()));
  if (again.size() != store.size()) std::abort();
  for (size_t i = 0; i < again.size(); ++i)
    if (again[i].url != store.at(i).url || again[i].name != store.at(i).name) std::abort();
  return 0;
}
