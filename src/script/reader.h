// The reader object that page script reaches as window.external.reader: it queries the book and
// drives the main window. It keeps no state of its own beyond the link to the frame.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/user_folders.h"
#include "script/dispatch_table.h"
#include "script/list_obj.h"
#include "script/reader_frame.h"

namespace lectern {

// The per-book registry root that script stores its data under:
// "clsid\{d1-d2-d3-d4-d5}" with the first 32 of the 40 lower-case hex digits of SHA-1(identity),
// split 8-4-4-4-12. Empty for an empty identity. The reader object names it after the frame's
// PlaceIdentity: the `guid` setting, else the book's own identity, so books without a guid keep
// their lists apart.
std::string RegistryRootName(std::string_view guid);

// Copies the stored file `path` to `folder`, under the last element of its path, and returns the
// copy's path; empty when the file cannot be read or written, or its name would not stay inside
// `folder` (".", "..", empty). Control characters in the name become '_'. An existing copy is
// kept and its path returned unless `overwrite`, which replaces it.
std::string ExtractBookFile(IEbkManager* manager, WideStringView path, bool overwrite, const std::string& folder);

class CReader final : public TableDispatch {
 public:
  // Makes a new list object with one reference, or null.
  using ListFactory = std::function<IDispatch*()>;

  // A reader with one reference. `frame` may be null (no window yet). Its lists are the
  // registry-backed list objects unless a test hands it another factory.
  static CReader* Create(IReaderFrame* frame, ListFactory list_factory = &NewListObject);

  // The window layer clears it when the main window goes away; menus made before see it too.
  void SetFrame(IReaderFrame* frame) { link_->frame = frame; }

  HRESULT GetVisible(VARIANT* args, VARIANT* result);
  HRESULT PutVisible(VARIANT* args, VARIANT* result);
  HRESULT GetStartPage(VARIANT* args, VARIANT* result);
  HRESULT GetId(VARIANT* args, VARIANT* result);
  HRESULT GetBookInfo(VARIANT* args, VARIANT* result);
  HRESULT GetTocEnabled(VARIANT* args, VARIANT* result);
  HRESULT GetRegistryRoot(VARIANT* args, VARIANT* result);
  HRESULT ShowMessage(VARIANT* args, VARIANT* result);
  HRESULT Quit(VARIANT* args, VARIANT* result);
  HRESULT GetConfig(VARIANT* args, VARIANT* result);
  HRESULT GetPageUrl(VARIANT* args, VARIANT* result);
  HRESULT CreateObject(VARIANT* args, VARIANT* result);
  HRESULT StartupSplitter(VARIANT* args, VARIANT* result);
  HRESULT GetMenuObj(VARIANT* args, VARIANT* result);
  HRESULT Refresh2(VARIANT* args, VARIANT* result);
  HRESULT GoHome(VARIANT* args, VARIANT* result);
  HRESULT Back(VARIANT* args, VARIANT* result);
  HRESULT Forward(VARIANT* args, VARIANT* result);
  HRESULT Stop(VARIANT* args, VARIANT* result);
  HRESULT ShowContentsPane(VARIANT* args, VARIANT* result);
  HRESULT ShowBookmarkPane(VARIANT* args, VARIANT* result);
  HRESULT ShowSearchPane(VARIANT* args, VARIANT* result);
  HRESULT Print(VARIANT* args, VARIANT* result);
  HRESULT Refresh(VARIANT* args, VARIANT* result);
  HRESULT Extract(VARIANT* args, VARIANT* result);
  HRESULT SetTextSize(VARIANT* args, VARIANT* result);
  HRESULT FullScreen(VARIANT* args, VARIANT* result);

 private:
  CReader(IReaderFrame* frame, ListFactory list_factory);
  // The frame while its main window exists, else null.
  IReaderFrame* Window() const;
  std::string Setting(std::string_view key) const;
  HRESULT Command(ReaderCommand command);

  FrameLinkPtr link_;
  ListFactory list_factory_;
};

inline constexpr std::string_view kListObjectName = "vellum.std.list";
inline constexpr std::string_view kDefaultMessageCaption = "Lectern";

}  // namespace lectern
