// Serves the open book's files to the page engine under the reader's own URI scheme, through the
// datastore's serving path and so through the virtual file layer.
#pragma once

#include <webkit2/webkit2.h>

namespace lectern {

// Registers the scheme on `context`. Requests are answered from the book the process has
// published (GetEBKM); the file interception must be installed.
void RegisterBookScheme(WebKitWebContext* context);

}  // namespace lectern
