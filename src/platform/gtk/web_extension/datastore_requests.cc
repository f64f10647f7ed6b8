#include "platform/gtk/web_extension/datastore_requests.h"

#include <string>

#include "browser/view_uri.h"

namespace lectern {
namespace {

bool IsBookPage(WebKitWebPage* page) {
  const char* page_uri = webkit_web_page_get_uri(page);
  return page_uri && std::string_view(page_uri).substr(0, kViewUriPrefix.size()) == kViewUriPrefix;
}

gboolean OnSendRequest(WebKitWebPage* page, WebKitURIRequest* request, WebKitURIResponse*, gpointer) {
  const char* uri = webkit_uri_request_get_uri(request);
  if (!uri) return FALSE;
  // Only the book's own pages reach the book's files this way, and any page its own navigation
  // to a datastore form ("location.href = 'c:\\datastore\\x.htm'"), whose main resource is this.
  const char* page_uri = webkit_web_page_get_uri(page);
  bool book_page = IsBookPage(page);
  bool main_resource = page_uri && std::string_view(page_uri) == uri;
  std::string translated = ToViewUri(uri);
  if (translated != uri && (book_page || main_resource)) {
    webkit_uri_request_set_uri(request, translated.c_str());
    return FALSE;
  }
  // Book pages may ask for file URLs (the datastore's forms need it); no other local file is read.
  return book_page && g_ascii_strncasecmp(uri, "file:", 5) == 0;
}

void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer) {
  g_signal_connect(page, "send-request", G_CALLBACK(OnSendRequest), nullptr);
}

}  // namespace

void TranslateDatastoreRequests(WebKitWebExtension* extension) {
  g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), nullptr);
}

}  // namespace lectern
