// Book pages name their files in the forms script written for the reader uses
// ("file://c:/datastore/pic.png", "c:\datastore\pic.png", ...). In the web process, before any
// request of a book page leaves, those forms are turned into the book's own scheme, so images,
// scripts, style sheets, frames and fetches load from the book; the engine itself is never given
// local files.
#pragma once

#include <webkit2/webkit-web-extension.h>

namespace lectern {

void TranslateDatastoreRequests(WebKitWebExtension* extension);

}  // namespace lectern
