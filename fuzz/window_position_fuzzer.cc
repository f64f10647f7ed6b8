// The stored "window position" text comes from outside the program (any process of the user can
// write it): parsing must take any bytes, and whatever four numbers it reads must print back to
// the same four numbers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "shell/ebk_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  lectern::WindowRect rect;
  if (!lectern::ParseWindowPosition(text, &rect)) return 0;
  lectern::WindowRect again;
  if (!lectern::ParseWindowPosition(lectern::FormatWindowPosition(rect), &again) || !(again == rect)) std::abort();
  return 0;
}
