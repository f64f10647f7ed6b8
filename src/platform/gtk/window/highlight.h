// Marking the search words in the page shown now and stepping from one occurrence of a text to the
// next, on the frame the user last clicked (or the top page). Both work in the page's own document
// through a script of the reader's, in a script world of its own; the answers come back on the
// main loop.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>
#include <vector>

namespace lectern {

// The words highlighting marks: the text cut at blanks, tabs and line feeds, with the double
// quotes of a phrase taken off its ends so the phrase's words still match the page.
std::vector<std::string> HighlightWords(std::string_view text);

class SearchHighlighter {
 public:
  // Installs the script in every frame `view` loads from now on. `search_text` is the search bar's
  // text, for ToggleHighlight.
  SearchHighlighter(WebKitWebView* view, std::function<std::string()> search_text);
  ~SearchHighlighter();
  SearchHighlighter(const SearchHighlighter&) = delete;
  SearchHighlighter& operator=(const SearchHighlighter&) = delete;

  // On a highlighted page, reloads it clean; otherwise highlights the search bar's text (once
  // the page has finished loading).
  void ToggleHighlight();
  // `done`, if given, receives the number of marks made, or -1 when nothing was done.
  void HighlightSearchHits(std::string_view text, std::function<void(int marks)> done = {});
  // Selects the next occurrence of `text` (with `backward`, the one before the last found);
  // `done` gets whether one was found.
  void FindNext(std::string_view text, std::function<void(bool found)> done, bool backward = false);
  // The next find starts at the top.
  void ClearFindPosition();

  bool highlighted() const { return highlighted_; }
  const std::string& last_find_text() const { return last_find_text_; }
  // The world the script runs in, for tests that look at its state.
  static const char* world_name();

 private:
  void Call(const char* body, GVariant* arguments, std::function<void(JSCValue*)> done);
  static void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);

  WebKitWebView* view_;
  std::function<std::string()> search_text_;
  WebKitUserScript* script_ = nullptr;
  GCancellable* cancellable_ = nullptr;
  bool highlighted_ = false;
  bool highlight_when_loaded_ = false;
  std::string last_find_text_;
};

}  // namespace lectern
