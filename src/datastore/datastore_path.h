// The virtual folder the book is shown as, and the three forms a book file is named by: its
// book-relative path (images\cover.gif), its datastore path (c:\datastore\images\cover.gif) and
// its datastore URL (file://c:/datastore/images/cover.gif). Narrow text is UTF-8; wide text is
// converted to UTF-8 before anything is compared or looked up, so both forms always agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace lectern {

inline constexpr std::string_view kDatastoreRoot = "c:\\datastore";
inline constexpr std::string_view kDatastoreUrlRoot = "file://c:/datastore";
// The form the page component reports URLs back in.
inline constexpr std::string_view kDatastoreUrlRootThreeSlash = "file:///c:/datastore";

inline constexpr uint32_t kDatastoreFolderAttributes = 0x10;
inline constexpr uint32_t kDatastoreFileAttributes = 0xA1;

// True when the path begins with the 12 characters of the root (ASCII case ignored, '/' and '\'
// alike). No separator is needed after the root: "c:\datastore.htm" counts.
bool IsDatastorePath(std::string_view path);
bool IsDatastorePath(WideStringView path);

// For a datastore path the text after the root, exactly as written; any other path unchanged.
std::string_view DatastoreRelativePath(std::string_view path);

// "file://c:/datastore" + the path with '\' turned into '/', one '/' after the root. No escaping.
// Empty for an empty path.
std::string DatastoreUrl(std::string_view book_relative_path);

// The book-relative path as the book is asked for it: a leading '\', components joined by '\',
// empty and "." components dropped, ".." taking back the component before it. Nullopt when a
// ".." would climb above the datastore root or a component holds a NUL: such a name is no book
// file, and must not be handed to anyone as a path either. "" is the root folder.
std::optional<std::string> NormalizeBookPath(std::string_view book_relative_path);

// Looks a book-relative path up in the published book. Found: true with the attributes
// (0x10 folder, 0xA1 file) and size; a stored file of size 0 reads as a folder. The root ("",
// "\" or "/") is always found. Either output may be null.
bool DatastoreStat(std::string_view book_relative_path, uint32_t* attributes, uint32_t* size);

// The text between the first "<title>" (else "<TITLE>"), attributes allowed, and the next
// "</title>" (else "</TITLE>"), untouched, into `title`; its length in bytes, 0 when there is
// none. The wide form gives the title in UTF-8 too.
size_t ExtractHtmlTitle(std::string_view html, std::string& title);
size_t ExtractHtmlTitle(WideStringView html, std::string& title);

// Creates every folder along `path` ('/' and '\' both separate). Whether the whole path is a
// folder afterwards. A path with a ".." component is refused untouched: the chain must stay
// inside the folder it names.
bool CreateFolderChain(std::string_view path);

}  // namespace lectern
