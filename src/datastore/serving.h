// The serving path of the page view: a request for a datastore URL or path becomes a reader that
// pulls the file's bytes through the virtual file layer on demand, with its length and a MIME
// type. Media kept raw in the book are read from the book file as they are asked for, never
// whole, and a reader seeks for range requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "datastore/file_functions.h"

namespace lectern {

// The datastore path a request names: a datastore path as it is; a datastore URL
// ("file://c:/datastore/..." or "file:///c:/datastore/...", any case) without its query and
// fragment and with its %-escapes decoded (a malformed escape stays as written). Nullopt for
// anything else, and for a request that holds or decodes to a NUL.
std::optional<std::string> DatastorePathFromRequest(std::string_view url_or_path);

// The type the extension of the last path component names, "" when it names none.
std::string_view MimeTypeForExtension(std::string_view path);
// The type the first bytes of a file betray (HTML, XML, SVG, common images, audio, video, PDF),
// "text/plain" for text without control bytes, "application/octet-stream" otherwise.
std::string_view SniffMimeType(std::span<const uint8_t> head);

class DatastoreReader {
 public:
  // Takes over `handle`, an open file of `files`, and closes it when destroyed.
  DatastoreReader(FileFunctions& files, HANDLE handle, uint64_t length);
  ~DatastoreReader();
  DatastoreReader(const DatastoreReader&) = delete;
  DatastoreReader& operator=(const DatastoreReader&) = delete;

  uint64_t length() const { return length_; }
  uint64_t position() const { return position_; }
  // Bytes placed in `buffer` (at most `count`); 0 at the end; -1 when the read failed.
  int64_t Read(void* buffer, size_t count);
  // Moves to `offset` from the start; the length itself is the end. False (position unchanged)
  // beyond it or when the file refuses.
  bool Seek(uint64_t offset);

 private:
  FileFunctions& files_;
  HANDLE handle_;
  uint64_t length_;
  uint64_t position_ = 0;
};

enum class ServeResult { kServed, kNotDatastore, kNotFound };

struct ServedFile {
  uint64_t length = 0;
  std::string mime_type;
  std::unique_ptr<DatastoreReader> reader;
};

// Opens what `url_or_path` names through `files` (the virtual file layer). kServed fills `out`;
// the reader stands at the start.
ServeResult ServeDatastoreRequest(std::string_view url_or_path, FileFunctions& files, ServedFile& out);

}  // namespace lectern
