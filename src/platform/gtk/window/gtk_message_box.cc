#include "platform/gtk/window/gtk_message_box.h"

#include <gtk/gtk.h>

#include <string>

#include "platform/message_box.h"

namespace lectern {
namespace {

int ShowGtkMessageBox(void* owner, std::string_view text, std::string_view caption, unsigned style) {
  GtkMessageType type = GTK_MESSAGE_OTHER;
  switch (style & 0xF0) {
    case kMbIconError: type = GTK_MESSAGE_ERROR; break;
    case kMbIconQuestion: type = GTK_MESSAGE_QUESTION; break;
    case kMbIconWarning: type = GTK_MESSAGE_WARNING; break;
    case kMbIconInformation: type = GTK_MESSAGE_INFO; break;
    default: break;
  }
  std::string message(text);
  GtkWidget* dialog = gtk_message_dialog_new(owner ? GTK_WINDOW(owner) : nullptr, GTK_DIALOG_MODAL, type,
                                             GTK_BUTTONS_NONE, "%s", message.c_str());
  std::string title(caption);
  gtk_window_set_title(GTK_WINDOW(dialog), title.c_str());
  unsigned buttons = style & 0x0F;
  auto add = [&](const char* label, int answer) { gtk_dialog_add_button(GTK_DIALOG(dialog), label, answer); };
  int cancel_answer = kIdOk;
  if (buttons == kMbYesNo || buttons == kMbYesNoCancel) {
    add("_Yes", kIdYes);
    add("_No", kIdNo);
    cancel_answer = kIdNo;
    if (buttons == kMbYesNoCancel) {
      add("_Cancel", kIdCancel);
      cancel_answer = kIdCancel;
    }
  } else {
    add("_OK", kIdOk);
    if (buttons == kMbOkCancel) {
      add("_Cancel", kIdCancel);
      cancel_answer = kIdCancel;
    }
  }
  int answer = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  // Closing the dialog from its title bar counts as the cancelling button, as on the book's platform.
  return answer > 0 ? answer : cancel_answer;
}

}  // namespace

void InstallGtkMessageBoxHandler() { SetMessageBoxHandler(ShowGtkMessageBox); }

}  // namespace lectern
