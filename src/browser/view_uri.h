// The view's boundary between the book's URL forms and the URIs the page engine loads. Everything
// above the view speaks datastore URLs ("file://c:/datastore/..."); the engine loads the same
// pages from the reader's own scheme, where relative links resolve like any hierarchical URL.
#pragma once

#include <string>
#include <string_view>

namespace lectern {

inline constexpr std::string_view kViewScheme = "lectern";
// Every book page lives under this authority: "lectern://datastore/index.htm".
inline constexpr std::string_view kViewUriPrefix = "lectern://datastore";

// "file://c:/datastore/a b.htm" (also the three-slash form, the path forms "c:\datastore\a b.htm"
// and "c:/datastore/a b.htm", and those as the engine passes them on with "%5C" for '\'; any letter
// case) to "lectern://datastore/a%20b.htm". Other URLs come back unchanged.
std::string ToViewUri(std::string_view url);
// The reverse, for status texts, the current page and the navigation policy: the engine's escapes
// are kept, as the page's own URL shows them.
std::string FromViewUri(std::string_view uri);
// The book path a view URI names, its escapes decoded (as a browser turns a file URL into a path),
// without query or fragment: "lectern://datastore/b%C3%BC.htm?x#y" -> "/bü.htm". Empty for
// URIs outside the scheme.
std::string ViewUriToBookPath(std::string_view uri);

// The status bar's text for a link under the pointer: book links show their book path
// ("/chapter1.htm"), other links as they are.
std::string StatusTextForLink(std::string_view uri);

// Whether the document at `uri` belongs to the open book, and so may reach the host's objects:
// a page of the reader's scheme, or, when `book_folder` is given (Preview Mode, an absolute path),
// a file URI inside that folder. A path that climbs out with "..", or any other origin, is not.
bool IsBookDocumentUri(std::string_view uri, std::string_view book_folder);
// A key under which two URLs of one page are equal whatever their escapes, letter case,
// separators, query and fragment, and whether a file URL has two slashes or three.
std::string SamePageKey(std::string_view url);

// Decodes %XX escapes; malformed escapes stay as written.
std::string PercentDecode(std::string_view text);

}  // namespace lectern
