// A list's stored value comes from outside the program (any process of the user can write the
// registry): reading must take any bytes, and whatever list it reads must be written back to a
// form that reads as the same list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "script/list_obj.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view form(reinterpret_cast<const char*>(data), size);
  lectern::ListItems items = {"untouched"};
  if (!lectern::DecodeListRegistryForm(form, &items)) {
    if (items != lectern::ListItems{"untouched"}) std::abort();
    return 0;
  }
  for (const std::string& item : items) {
    if (item.empty() || item.find(lectern::kListItemEnd) != std::string::npos) std::abort();
  }
  bool too_large = true;
  const std::string again = lectern::EncodeListRegistryForm(items, &too_large);
  if (too_large || again.size() > form.size() + 1) std::abort();
  lectern::ListItems reread;
  if (items.empty()) {
    if (!again.empty()) std::abort();
    return 0;
  }
  if (!lectern::DecodeListRegistryForm(again, &reread) || reread != items) std::abort();
  return 0;
}
