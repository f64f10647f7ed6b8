// The open book: the archive with the reader's additions.
#pragma once

#include <string>

#include "archive/zpk.h"

namespace lectern {

class Ebk : public ZPK {
 public:
  // Moves the book file to the directory section for a second reading of its records; the new
  // position, or -1 when the book is closed or has no directory.
  int64_t SeekToDirectory();

  // Texts that the window layer fills for its own use; nothing here reads them.
  std::string text1, text2, text3;

 protected:
  virtual bool OnBookHook() { return true; }
};

}  // namespace lectern
