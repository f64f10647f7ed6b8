// Serves the open book's files to the page engine under the reader's own URI scheme.
#pragma once

#include <webkit2/webkit2.h>

#include "book/ebk_manager.h"

namespace lectern {

// The content type for a book path, from its extension, or a sniff of its first bytes.
const char* GuessBookMimeType(std::string_view path, std::string_view first_bytes);

// Registers the scheme on `context`; `manager` must outlive the context's requests.
void RegisterBookScheme(WebKitWebContext* context, IEbkManager* manager);

}  // namespace lectern
