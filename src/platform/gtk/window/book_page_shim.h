// A script run in every frame of a book page before the page's own. It points <audio>, <video>,
// <source> and `new Audio()` at the loopback media endpoint whenever they name a file of the book,
// so the engine's player streams and seeks them over HTTP instead of refusing the book's scheme;
// and it turns the datastore forms ("file://c:/datastore/x", "c:\datastore\x") of links, frames,
// `fetch`, XMLHttpRequest, `window.open` and the page's own navigations (`location`) into the
// book's scheme, where the engine would refuse them before any request leaves (subresources are
// translated in the web extension). Navigations are caught by the Navigation API, which the view
// must turn on where it runs this script.
#pragma once

#include <string>
#include <string_view>

namespace lectern {

// The script for an endpoint whose base URL is `media_base` ("http://127.0.0.1:PORT/TOKEN").
std::string BookPageScript(std::string_view media_base);

}  // namespace lectern
