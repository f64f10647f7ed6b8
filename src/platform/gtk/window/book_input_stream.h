// A GInputStream over a book file stream, so WebKit pulls page bytes on demand: raw media are read
// from the book file as the player asks for them, never held whole.
#pragma once

#include <gio/gio.h>

#include <memory>

#include "book/book_file_stream.h"

namespace lectern {

// Takes ownership of an opened stream.
GInputStream* NewBookInputStream(std::unique_ptr<BookFileStream> stream);

}  // namespace lectern
