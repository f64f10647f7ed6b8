#include "platform/gtk/window/book_scheme.h"

#include <memory>
#include <string>

#include "browser/view_uri.h"
#include "datastore/serving.h"
#include "datastore/virtual_file_layer.h"
#include "platform/gtk/window/book_input_stream.h"

namespace lectern {
namespace {

void ServeRequest(WebKitURISchemeRequest* request, gpointer) {
  std::string url = FromViewUri(webkit_uri_scheme_request_get_uri(request));
  ServedFile served;
  if (ServeDatastoreRequest(url, FileInterception(), served) != ServeResult::kServed) {
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "%s is not in this book", url.c_str());
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  gint64 length = gint64(served.length);
  GInputStream* input = NewBookInputStream(std::move(served.reader));
  webkit_uri_scheme_request_finish(request, input, length, served.mime_type.c_str());
  g_object_unref(input);
}

}  // namespace

void RegisterBookScheme(WebKitWebContext* context) {
  std::string scheme(kViewScheme);
  webkit_web_context_register_uri_scheme(context, scheme.c_str(), ServeRequest, nullptr, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  // Pages of one book load each other's scripts and media like files of one site.
  webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
}

}  // namespace lectern
