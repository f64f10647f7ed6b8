// Message boxes as the core asks for them. The window layer installs a handler that shows a real
// dialog; without one, the text goes to stderr and the default button is taken, so tools and
// tests never block.
#pragma once

#include <string_view>

namespace lectern {

// Buttons and icons, with the values of the platform whose books these are.
enum MessageBoxStyle : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbIconError = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
};
enum MessageBoxAnswer : int { kIdOk = 1, kIdCancel = 2, kIdYes = 6, kIdNo = 7 };

using MessageBoxHandler = int (*)(void* owner, std::string_view text, std::string_view caption, unsigned style);

// Shows the box through the installed handler and returns the button chosen.
int ShowMessageBox(void* owner, std::string_view text, std::string_view caption, unsigned style);
// Installs `handler` (null restores the default) and returns the one it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

}  // namespace lectern
