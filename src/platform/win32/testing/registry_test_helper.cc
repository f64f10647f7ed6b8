// A second process for the registry tests: what one run leaves in the registry, the next reads.
//   save-window L T R B | load-window | save-list KEY ITEM... | load-list KEY
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "script/list_obj.h"
#include "shell/ebk_registry.h"

int main(int argc, char** argv) {
  using namespace lectern;
  if (argc < 2) return 2;
  std::string mode = argv[1];
  if (mode == "save-window" && argc == 6) {
    EbkRegistry registry;
    WindowRect rect{std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
    return registry.EnsureKey() && registry.SaveWindowRect(&rect) ? 0 : 1;
  }
  if (mode == "load-window") {
    EbkRegistry registry;
    registry.Initialise("helper");
    std::printf("%s", FormatWindowPosition(registry.window_rect()).c_str());
    return 0;
  }
  if (mode == "save-list" && argc >= 3) {
    CListObj* list = CListObj::Create();
    VARIANT arg;
    VARIANT result;
    for (int i = 3; i < argc; ++i) {
      arg.vt = VT_BSTR;
      arg.bstrVal = AllocBstrFromUtf8(argv[i]);
      VariantInit(&result);
      list->PushBack(&arg, &result);
      SysFreeString(arg.bstrVal);
    }
    bool saved = list->SaveToKey(argv[2]);
    list->Release();
    return saved ? 0 : 1;
  }
  if (mode == "load-list" && argc == 3) {
    CListObj* list = CListObj::Create();
    bool loaded = list->LoadFromKey(argv[2]);
    std::string joined;
    for (const std::string& item : list->items()) joined += item + "|";
    list->Release();
    std::printf("%s", joined.c_str());
    return loaded ? 0 : 1;
  }
  return 2;
}
