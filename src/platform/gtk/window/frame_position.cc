// Where the reader was: the frame notes the page shown and its scroll as the user reads (a light
// poll, since the engine reports no scrolling), keeps it under the book's key at each change, and
// brings it back when the book opens again, unless the book's own script moved on at start-up.
#include <string>

#include "browser/view_uri.h"
#include "platform/gtk/window/main_frame.h"
#include "shell/ebk_registry.h"

namespace lectern {
namespace {

constexpr guint kScrollPollMs = 500;
// How long the start page must stay before the last place is brought back.
constexpr guint kSettleMs = 300;

bool IsBookUrl(std::string_view url) { return url.rfind("file://c:/datastore", 0) == 0; }

}  // namespace

void GtkMainFrame::StartRememberingPosition() {
  restore_ = LoadReadingPosition(EbkRegistry::Instance().book_identity(), kLastPositionValue);
  // Answers may arrive after the frame has gone: they find it through the view, which forgets it.
  g_object_set_data(G_OBJECT(view_->web_view()), "lectern-position-frame", this);
  if (restore_ && !IsBookUrl(restore_->url) && !preview_mode_) restore_.reset();
  g_signal_connect_after(view_->web_view(), "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer frame) {
                           if (event == WEBKIT_LOAD_FINISHED) static_cast<GtkMainFrame*>(frame)->OnPageFinished();
                         }),
                         this);
  position_timer_ = g_timeout_add(kScrollPollMs, +[](gpointer frame) -> gboolean {
    static_cast<GtkMainFrame*>(frame)->NoteScroll();
    return G_SOURCE_CONTINUE;
  }, this);
}

void GtkMainFrame::StopRememberingPosition() {
  if (position_timer_) g_source_remove(position_timer_);
  if (restore_timer_) g_source_remove(restore_timer_);
  position_timer_ = restore_timer_ = 0;
  if (!view_) return;
  g_signal_handlers_disconnect_by_data(view_->web_view(), this);
  g_object_set_data(G_OBJECT(view_->web_view()), "lectern-position-frame", nullptr);
}

void GtkMainFrame::OnPageFinished() {
  std::string url = CurrentUrl();
  if (url.empty() || webkit_web_view_is_loading(view_->web_view())) return;
  if (first_page_) {
    first_page_ = false;
    // Back where the user left off only if the book stays on its start page a moment: a book
    // whose script goes elsewhere at start-up decides for itself.
    if (restore_) {
      restore_timer_ = g_timeout_add(kSettleMs, +[](gpointer data) -> gboolean {
        auto* frame = static_cast<GtkMainFrame*>(data);
        frame->restore_timer_ = 0;
        std::optional<ReadingPosition> place = std::move(frame->restore_);
        frame->restore_.reset();
        WebKitWebView* view = frame->view_->web_view();
        std::string now = frame->CurrentUrl();
        if (!place || webkit_web_view_is_loading(view) || SamePageKey(now) != SamePageKey(frame->settings_.home_url))
          return G_SOURCE_REMOVE;
        if (SamePageKey(place->url) == SamePageKey(now)) {
          frame->ScrollTo(*place);
        } else {
          frame->pending_scroll_ = place;
          frame->Navigate(place->url);
        }
        return G_SOURCE_REMOVE;
      }, this);
    }
  } else if (pending_scroll_ && SamePageKey(pending_scroll_->url) == SamePageKey(url)) {
    ScrollTo(*pending_scroll_);
  }
  pending_scroll_.reset();
  if (SamePageKey(seen_.url) != SamePageKey(url)) {
    seen_ = {url, 0, 0};
    SaveReadingPosition(EbkRegistry::Instance().book_identity(), kLastPositionValue, seen_);
  }
}

void GtkMainFrame::ScrollTo(const ReadingPosition& place) {
  std::string script = "scrollTo(" + std::to_string(place.scroll_x) + "," + std::to_string(place.scroll_y) + ")";
  webkit_web_view_evaluate_javascript(view_->web_view(), script.c_str(), -1, nullptr, nullptr, nullptr, nullptr,
                                      nullptr);
}

void GtkMainFrame::NoteScroll() {
  if (!view_ || webkit_web_view_is_loading(view_->web_view()) || seen_.url.empty()) return;
  webkit_web_view_evaluate_javascript(
      view_->web_view(), "Math.round(scrollX) + ',' + Math.round(scrollY) + ',' + location.href", -1, nullptr, nullptr,
      nullptr,
      [](GObject* source, GAsyncResult* result, gpointer) {
        JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(source), result, nullptr);
        if (!value) return;
        gchar* text = jsc_value_to_string(value);
        std::optional<ReadingPosition> now = ParseReadingPosition(text ? text : "");
        g_free(text);
        g_object_unref(value);
        auto* frame = static_cast<GtkMainFrame*>(g_object_get_data(source, "lectern-position-frame"));
        if (!now || !frame) return;
        // Only the page shown now: a frame's or a page still arriving says nothing of it.
        if (SamePageKey(FromViewUri(now->url)) != SamePageKey(frame->seen_.url)) return;
        if (now->scroll_x == frame->seen_.scroll_x && now->scroll_y == frame->seen_.scroll_y) return;
        frame->seen_.scroll_x = now->scroll_x;
        frame->seen_.scroll_y = now->scroll_y;
        SaveReadingPosition(EbkRegistry::Instance().book_identity(), kLastPositionValue, frame->seen_);
      },
      nullptr);
}

void GtkMainFrame::OpenBookmarkUrl(std::string_view url) {
  std::optional<ReadingPosition> place =
      LoadReadingPosition(EbkRegistry::Instance().book_identity(), BookmarkPositionValue(url));
  // The page shown now is not loaded again; it only goes to the bookmark's place.
  if (SamePageKey(url) == SamePageKey(CurrentUrl())) {
    if (place) ScrollTo(*place);
    return;
  }
  pending_scroll_ = place;
  Navigate(url);
}

void GtkMainFrame::AddBookmarkHere() {
  if (!bookmarks_pane_) return;
  ReadingPosition here = seen_;
  bookmarks_pane_->AddCurrentPage();
  if (here.url.empty() || SamePageKey(here.url) != SamePageKey(CurrentUrl())) return;
  for (const Bookmark& bookmark : bookmark_source_ ? bookmark_source_() : std::vector<Bookmark>()) {
    if (SamePageKey(bookmark.url) != SamePageKey(here.url)) continue;
    SaveReadingPosition(EbkRegistry::Instance().book_identity(), BookmarkPositionValue(bookmark.url), here);
    return;
  }
}

}  // namespace lectern
