#include "platform/message_box.h"

#include <atomic>
#include <cstdio>

namespace lectern {
namespace {

int PrintToStderr(void*, std::string_view text, std::string_view caption, unsigned style) {
  std::fprintf(stderr, "%.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()), text.data());
  switch (style & 0xF) {
    case kMbYesNo:
    case kMbYesNoCancel:
      return kIdYes;
    default:
      return kIdOk;
  }
}

std::atomic<MessageBoxHandler> g_handler{&PrintToStderr};

}  // namespace

int ShowMessageBox(void* owner, std::string_view text, std::string_view caption, unsigned style) {
  return g_handler.load()(owner, text, caption, style);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  return g_handler.exchange(handler ? handler : &PrintToStderr);
}

}  // namespace lectern
