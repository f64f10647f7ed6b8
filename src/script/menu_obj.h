// The pop-up menu that page script builds and shows, getting back the command chosen. The menu's
// items stay, so the same menu can be shown again; items cannot be removed.
#pragma once

#include <vector>

#include "script/dispatch_table.h"
#include "script/reader_frame.h"

namespace lectern {

class CMenuObj final : public TableDispatch {
 public:
  // A new, empty menu with one reference.
  static CMenuObj* Create(FrameLinkPtr frame);

  const std::vector<MenuItem>& items() const { return items_; }

  // trackPopup(x, y) -> the command chosen, 0 when dismissed or without a window.
  HRESULT TrackPopup(VARIANT* args, VARIANT* result);
  // append(text, command) -> the number of items: "-" appends a separator, an empty text nothing.
  HRESULT Append(VARIANT* args, VARIANT* result);

 private:
  explicit CMenuObj(FrameLinkPtr frame);
  FrameLinkPtr frame_;
  std::vector<MenuItem> items_;
};

}  // namespace lectern
