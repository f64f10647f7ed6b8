// What the window tests share: running the main loop until something holds, page script, key
// events, screenshots, and a recorder standing in for the user at message boxes.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <climits>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gtk/window/contents_tree.h"
#include "platform/message_box.h"

namespace lectern::testing {

// Iterates the main loop until `done` holds; false after `seconds`.
bool RunUntil(const std::function<bool()>& done, int seconds = 20);
// Lets the main loop run for a while with nothing to wait for.
void RunFor(int milliseconds);
// The page script's result as a string, or "<error: ...>".
std::string Evaluate(WebKitWebView* view, const char* script);
bool WaitForLoad(WebKitWebView* view);
// A PNG of the visible page, for the test artefacts.
void SaveSnapshot(WebKitWebView* view, const std::string& path);
// A PNG of a whole window as the screen shows it (bars, panes and page).
void SaveWindowSnapshot(GtkWidget* window, const std::string& path);
// Where artefacts go: the build tree when the tests run under CTest.
std::string ArtefactPath(std::string_view name);

// The rows of a contents pane as the user sees them, down to `max_depth` levels below the top:
// one line each, indented two spaces a level.
std::string Outline(CEbkTreeView& pane, int max_depth = INT_MAX);
// A key press with `state` modifiers, delivered to `widget`'s window; free with gdk_event_free.
GdkEvent* KeyEvent(GtkWidget* widget, guint keyval, GdkModifierType state);

// The menu item with `command` under `shell` (a menu bar or menu), searched through every submenu.
GtkWidget* FindMenuItem(GtkWidget* shell, int command);

// Answers every message box with `answer` and remembers what was asked, while it lives.
class MessageBoxRecorder {
 public:
  explicit MessageBoxRecorder(int answer = kIdOk);
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  struct Box {
    std::string text;
    std::string caption;
    unsigned style;
  };
  const std::vector<Box>& boxes() const { return boxes_; }
  std::string last_text() const { return boxes_.empty() ? std::string() : boxes_.back().text; }
  void set_answer(int answer) { answer_ = answer; }

 private:
  static int Record(void* owner, std::string_view text, std::string_view caption, unsigned style);
  std::vector<Box> boxes_;
  int answer_;
  MessageBoxHandler previous_;
};

}  // namespace lectern::testing
