// The loopback media endpoint on its socket: the page engine plays audio and video only over
// HTTP, so the reader listens on 127.0.0.1, on a port the system picks, and answers the open
// book's entries under a path no other program can guess (see datastore/media_endpoint.h).
// Each connection is served on a thread of its own, so a player pulling a long video never
// blocks the window.
#pragma once

#include "datastore/media_endpoint.h"

namespace lectern {

// Starts the process's one endpoint on first use; null when it cannot listen (media then stay
// on the book scheme). The address lives as long as the process.
const MediaEndpointAddress* MediaEndpoint();

}  // namespace lectern
