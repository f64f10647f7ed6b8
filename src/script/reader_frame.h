// What the script objects need of the main window. The window layer implements it; the objects
// hold it through a FrameLink, which the window clears when it goes away, so objects that script
// keeps longer than the window then do nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "book/ebk_manager.h"
#include "script/variant.h"

namespace lectern {

// The frame commands script can issue.
enum class ReaderCommand : uint32_t {
  kHome = 3004,
  kSearchPane = 3005,
  kBookmarksPane = 3006,
  kPrint = 3007,
  kFullScreen = 3014,
  kContentsPane = 3016,
};

struct MenuItem {
  enum class Kind { kText, kSeparator };
  Kind kind = Kind::kText;
  std::string text;  // UTF-8; empty for a separator
  int32_t command = 0;
};

class IReaderFrame {
 public:
  // Whether the main window exists now (before it is made and after it is gone it does not).
  virtual bool HasMainWindow() = 0;
  virtual bool IsMainWindowVisible() = 0;
  // Shows the window normally, or hides it.
  virtual void ShowMainWindow(bool visible) = 0;
  // Posts the close message to the main window.
  virtual void PostClose() = 0;
  virtual void SendCommand(ReaderCommand command) = 0;

  // The frame's home URL; empty when it has none.
  virtual std::string HomeUrl() = 0;
  // The book setting `key`; true when it is non-empty.
  virtual bool GetSetting(std::string_view key, std::string& value) = 0;
  // The open book, or null; no reference is added.
  virtual IEbkManager* BookManager() = 0;
  // The identity that names the book's per-user places: its `guid` setting, else one the book
  // itself gives (the archive identity; in Preview Mode a digest of the project's path). Empty
  // when there is no book.
  virtual std::string PlaceIdentity() = 0;

  // The view.
  virtual void GoBack() = 0;
  virtual void GoForward() = 0;
  virtual void StopLoading() = 0;
  virtual void Refresh() = 0;
  // 0 smallest to 4 largest; a negative value steps.
  virtual void SetTextSize(int32_t size) = 0;
  // Reloads the web view that hosts `object` (a page's object); does nothing when none does.
  virtual void RefreshViewHosting(IDispatch* object) = 0;

  // A message box owned by the active window; the button chosen.
  virtual int ShowMessage(std::string_view text, std::string_view caption, unsigned style) = 0;
  // Shows a pop-up menu with its top left corner at (x, y) in the main window's client
  // coordinates; the command of the item chosen, 0 when dismissed. No command reaches the frame.
  virtual int32_t TrackPopupMenu(const std::vector<MenuItem>& items, int32_t x, int32_t y) = 0;

 protected:
  ~IReaderFrame() = default;
};

// The frame as the script objects see it: null once the window has gone.
struct FrameLink {
  IReaderFrame* frame = nullptr;
};
using FrameLinkPtr = std::shared_ptr<FrameLink>;

}  // namespace lectern
