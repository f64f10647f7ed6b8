#include "platform/gtk/window/highlight.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#include "panes/tokenizer.h"

namespace lectern {

extern const uint8_t kHighlightScript[];
extern const size_t kHighlightScriptSize;

namespace {

constexpr const char* kWorld = "lectern-search";

// A GVariant string must be UTF-8; page words typed by the user are, but be sure.
GVariant* StringVariant(std::string_view text) {
  gchar* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
  GVariant* value = g_variant_new_string(valid);
  g_free(valid);
  return value;
}

struct Pending {
  std::function<void(JSCValue*)> done;
};

}  // namespace

std::vector<std::string> HighlightWords(std::string_view text) {
  std::vector<std::string> words;
  CTokenizer tokenizer(text);
  for (std::string word = tokenizer.NextToken(" \t\n"); !word.empty(); word = tokenizer.NextToken(" \t\n")) {
    // A quoted phrase arrives cut into its words, the first and last still carrying the quotes,
    // which no page text has beside the word.
    size_t first = word.find_first_not_of('"');
    size_t last = word.find_last_not_of('"');
    if (first == std::string::npos) continue;
    words.push_back(word.substr(first, last - first + 1));
  }
  return words;
}

const char* SearchHighlighter::world_name() { return kWorld; }

SearchHighlighter::SearchHighlighter(WebKitWebView* view, std::function<std::string()> search_text)
    : view_(view), search_text_(std::move(search_text)) {
  cancellable_ = g_cancellable_new();
  std::string source(reinterpret_cast<const char*>(kHighlightScript), kHighlightScriptSize);
  script_ = webkit_user_script_new_for_world(source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorld, nullptr, nullptr);
  webkit_user_content_manager_add_script(webkit_web_view_get_user_content_manager(view_), script_);
  g_signal_connect(view_, "load-changed", G_CALLBACK(OnLoadChanged), this);
}

SearchHighlighter::~SearchHighlighter() {
  // Answers still on their way find nothing to call.
  g_cancellable_cancel(cancellable_);
  g_object_unref(cancellable_);
  g_signal_handlers_disconnect_by_data(view_, this);
  webkit_user_content_manager_remove_script(webkit_web_view_get_user_content_manager(view_), script_);
  webkit_user_script_unref(script_);
}

void SearchHighlighter::OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  // The new document has no marks; its find position went with the old one.
  auto* self = static_cast<SearchHighlighter*>(data);
  const char* uri = webkit_web_view_get_uri(view);
  if (uri && *uri) self->highlighted_ = false;
  if (self->highlight_when_loaded_) {
    self->highlight_when_loaded_ = false;
    self->ToggleHighlight();
  }
}

void SearchHighlighter::Call(const char* body, GVariant* arguments, std::function<void(JSCValue*)> done) {
  auto* pending = new Pending{std::move(done)};
  webkit_web_view_call_async_javascript_function(
      view_, body, -1, arguments, kWorld, nullptr, cancellable_,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Pending> call(static_cast<Pending*>(data));
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(source), result, &error);
        bool cancelled = error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
        // A page without our script (a page of another origin's frame, say) answers with an error.
        if (error && !cancelled) g_debug("search script: %s", error->message);
        if (error) g_error_free(error);
        // Cancelled: the highlighter is gone, and with it what `done` refers to.
        if (!cancelled && call->done) call->done(value);
        if (value) g_object_unref(value);
      },
      pending);
}

void SearchHighlighter::ToggleHighlight() {
  if (highlighted_) {
    highlighted_ = false;
    webkit_web_view_reload(view_);
    return;
  }
  // Marks made while the page still loads would cover only what has arrived, and the end of
  // the load would then forget them: the request waits for the whole page.
  if (webkit_web_view_is_loading(view_)) {
    highlight_when_loaded_ = true;
    return;
  }
  std::string text = search_text_ ? search_text_() : std::string();
  if (!text.empty()) HighlightSearchHits(text);
}

void SearchHighlighter::HighlightSearchHits(std::string_view text, std::function<void(int)> done) {
  std::vector<std::string> words = HighlightWords(text);
  if (words.empty()) {
    if (done) done(-1);
    return;
  }
  // Arrays do not cross into the page's script either; the words never hold a line feed.
  std::string joined;
  for (const std::string& word : words) joined += (joined.empty() ? "" : "\n") + word;
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&arguments, "{sv}", "words", StringVariant(joined));
  Call("return window.LecternSearch ? window.LecternSearch.highlight(words.split('\\n')) : -1;",
       g_variant_builder_end(&arguments),
       [this, done = std::move(done)](JSCValue* value) {
         int marks = value && jsc_value_is_number(value) ? jsc_value_to_int32(value) : -1;
         if (marks >= 0) highlighted_ = true;
         if (done) done(marks);
       });
}

void SearchHighlighter::FindNext(std::string_view text, std::function<void(bool)> done, bool backward) {
  if (text.empty()) {
    if (done) done(false);
    return;
  }
  bool restart = text != last_find_text_;
  if (restart) last_find_text_ = std::string(text);
  GVariantBuilder arguments;
  g_variant_builder_init(&arguments, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&arguments, "{sv}", "text", StringVariant(text));
  // Booleans do not cross into the page's script; a number does.
  g_variant_builder_add(&arguments, "{sv}", "restart", g_variant_new_int32(restart ? 1 : 0));
  g_variant_builder_add(&arguments, "{sv}", "backward", g_variant_new_int32(backward ? 1 : 0));
  Call("return window.LecternSearch ? window.LecternSearch.findNext(text, restart, backward) : 0;",
       g_variant_builder_end(&arguments), [done = std::move(done)](JSCValue* value) {
         bool found = value && jsc_value_is_number(value) && jsc_value_to_int32(value) == 1;
         if (done) done(found);
       });
}

void SearchHighlighter::ClearFindPosition() {
  Call("if (window.LecternSearch) window.LecternSearch.clear();", nullptr, {});
}

}  // namespace lectern
