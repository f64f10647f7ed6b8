#include "platform/gtk/window/book_scheme.h"

#include <libsoup/soup.h>

#include <memory>
#include <optional>
#include <string>

#include "browser/view_uri.h"
#include "datastore/http_request.h"
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
  // Players ask for parts of an entry as they seek; every answer states the whole length.
  SoupMessageHeaders* asked = webkit_uri_scheme_request_get_http_headers(request);
  const char* range_header = asked ? soup_message_headers_get_one(asked, "Range") : nullptr;
  ByteRange range =
      ResolveByteRange(range_header ? std::optional<std::string_view>(range_header) : std::nullopt, served.length);
  SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
  soup_message_headers_replace(headers, "Accept-Ranges", "bytes");
  if (range.kind != ByteRange::Kind::kWhole)
    soup_message_headers_replace(headers, "Content-Range", ContentRangeValue(range, served.length).c_str());
  uint64_t first = range.kind == ByteRange::Kind::kPartial ? range.first : 0;
  uint64_t count = range.kind == ByteRange::Kind::kPartial        ? range.count()
                   : range.kind == ByteRange::Kind::kUnsatisfiable ? 0
                                                                   : served.length;
  if (!served.reader->Seek(first)) count = 0;
  soup_message_headers_set_content_length(headers, goffset(count));
  GInputStream* input = NewBookInputStream(std::move(served.reader), count);
  WebKitURISchemeResponse* response = webkit_uri_scheme_response_new(input, gint64(count));
  if (range.kind == ByteRange::Kind::kPartial) webkit_uri_scheme_response_set_status(response, 206, "Partial Content");
  if (range.kind == ByteRange::Kind::kUnsatisfiable)
    webkit_uri_scheme_response_set_status(response, 416, "Range Not Satisfiable");
  webkit_uri_scheme_response_set_content_type(response, served.mime_type.c_str());
  webkit_uri_scheme_response_set_http_headers(response, headers);  // takes the headers
  webkit_uri_scheme_request_finish_with_response(request, response);
  g_object_unref(response);
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
  // Book pages name their files by datastore URLs too ("file://c:/datastore/pic.png"). The engine
  // lets only local pages ask for file URLs at all; the web extension turns each such request of
  // a book page into this scheme and refuses every other file URL, so no local file is read.
  webkit_security_manager_register_uri_scheme_as_local(security, scheme.c_str());
}

}  // namespace lectern
