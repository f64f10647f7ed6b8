// Copying one stored file of the open book to a file on disk that the reader names.
//
// The stored file is found before anything on disk is touched, and its bytes go to a new file in
// the target's folder that is renamed over the target only once it is complete, so a wrong source
// or a failed write leaves an existing target as it was.
#pragma once

#include <string>
#include <string_view>

#include "book/ebk_manager.h"

namespace lectern {

enum class ExtractResult {
  kDone,
  kSourceMissing,  // the book holds no such file, it is empty, or it cannot be read whole
  kCreateFailed,   // the target could not be written (folder missing, no permission, a folder there)
};

// `book_path` as page script names stored files; `target` a path on disk.
ExtractResult ExtractBookFile(IEbkManager* manager, std::string_view book_path, const std::string& target);

}  // namespace lectern
