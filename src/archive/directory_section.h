// The records of the directory section: 0x01 name (enter a new directory), 0x02 (leave),
// 0xFF (end), or a file name followed by its u32 data offset. Strings are NUL-terminated.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "archive/archive_error.h"
#include "archive/file_system.h"

namespace lectern {

// Adds the records of a deciphered body to `fs`, starting in its current directory. Stops with
// success at 0xFF or the end of the body. Fails on a record that runs past the body or whose name
// can't be a node (empty, ".", "..", or with a separator in it), with the record's offset in the
// body and the fault in `error`; the nodes added before stay.
bool LoadDirectoryRecords(std::span<const uint8_t> body, FileSystem& fs, ArchiveError* error = nullptr);

// Writes `dir`'s subtree as records (without the final 0xFF), children in list order.
void AppendDirectoryRecords(const FsNode& dir, std::string& out);

}  // namespace lectern
