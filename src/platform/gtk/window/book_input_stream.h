// A GInputStream over a datastore reader, so WebKit pulls page bytes on demand: raw media are read
// from the book file as the player asks for them, never held whole.
#pragma once

#include <gio/gio.h>

#include <cstdint>
#include <memory>

#include "datastore/serving.h"

namespace lectern {

// Takes ownership of an opened stream and gives at most `count` bytes from where it stands.
GInputStream* NewBookInputStream(std::unique_ptr<DatastoreReader> reader, uint64_t count = UINT64_MAX);

}  // namespace lectern
