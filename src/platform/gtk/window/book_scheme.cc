#include "platform/gtk/window/book_scheme.h"

#include <memory>
#include <string>

#include "archive/file_system.h"
#include "book/book_file_stream.h"
#include "browser/view_uri.h"
#include "platform/gtk/window/book_input_stream.h"

namespace lectern {
namespace {

struct MimeByExtension {
  const char* extension;
  const char* type;
};
constexpr MimeByExtension kMimeTypes[] = {
    {".htm", "text/html"},        {".html", "text/html"},       {".css", "text/css"},
    {".js", "text/javascript"},   {".png", "image/png"},        {".gif", "image/gif"},
    {".jpg", "image/jpeg"},       {".jpeg", "image/jpeg"},      {".svg", "image/svg+xml"},
    {".ico", "image/x-icon"},     {".bmp", "image/bmp"},        {".webp", "image/webp"},
    {".txt", "text/plain"},       {".xml", "text/xml"},         {".json", "application/json"},
    {".wav", "audio/wav"},        {".mp3", "audio/mpeg"},       {".ogg", "audio/ogg"},
    {".oga", "audio/ogg"},        {".flac", "audio/flac"},      {".ogv", "video/ogg"},
    {".webm", "video/webm"},      {".mp4", "video/mp4"},        {".avi", "video/x-msvideo"},
    {".pdf", "application/pdf"},  {".swf", "application/x-shockwave-flash"},
};

void ServeRequest(WebKitURISchemeRequest* request, gpointer data) {
  auto* manager = static_cast<IEbkManager*>(data);
  std::string path = ViewUriToBookPath(webkit_uri_scheme_request_get_uri(request));
  auto stream = std::make_unique<BookFileStream>(manager);
  if (path.empty() || !stream->Open(Utf8ToWide(path))) {
    GError* error = g_error_new(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "%s is not in this book", path.c_str());
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  char head[64];
  uint32_t head_size = stream->Read(head, sizeof head);
  stream->Seek(0, BookFileStream::kFromStart);
  const char* mime = GuessBookMimeType(path, std::string_view(head, head_size));
  gint64 length = stream->length();
  GInputStream* input = NewBookInputStream(std::move(stream));
  webkit_uri_scheme_request_finish(request, input, length, mime);
  g_object_unref(input);
}

bool HasPrefixIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

const char* GuessBookMimeType(std::string_view path, std::string_view first_bytes) {
  size_t slash = path.find_last_of("/\\");
  std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string_view::npos) {
    std::string_view extension = name.substr(dot);
    for (const MimeByExtension& m : kMimeTypes)
      if (EqualsIgnoringAsciiCase(extension, m.extension)) return m.type;
  }
  std::string_view head = first_bytes;
  while (!head.empty() && (head[0] == ' ' || head[0] == '\t' || head[0] == '\r' || head[0] == '\n')) head.remove_prefix(1);
  if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
  if (HasPrefixIgnoringCase(head, "<!doctype html") || HasPrefixIgnoringCase(head, "<html") ||
      HasPrefixIgnoringCase(head, "<head") || HasPrefixIgnoringCase(head, "<body"))
    return "text/html";
  if (HasPrefixIgnoringCase(head, "<?xml")) return "text/xml";
  if (first_bytes.substr(0, 8) == "\x89PNG\r\n\x1A\n") return "image/png";
  if (first_bytes.substr(0, 4) == "GIF8") return "image/gif";
  if (first_bytes.substr(0, 3) == "\xFF\xD8\xFF") return "image/jpeg";
  return "application/octet-stream";
}

void RegisterBookScheme(WebKitWebContext* context, IEbkManager* manager) {
  std::string scheme(kViewScheme);
  webkit_web_context_register_uri_scheme(context, scheme.c_str(), ServeRequest, manager, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  // Pages of one book load each other's scripts and media like files of one site.
  webkit_security_manager_register_uri_scheme_as_secure(security, scheme.c_str());
  webkit_security_manager_register_uri_scheme_as_cors_enabled(security, scheme.c_str());
}

}  // namespace lectern
