#include "script/menu_obj.h"

namespace lectern {
namespace {

const MemberRow kMenuMembers[] = {
    {OLESTR("trackPopup"), 0xB0001, MemberKind::kMethod, VT_I4, 2, {VT_I4, VT_I4}, &MemberThunk<CMenuObj, &CMenuObj::TrackPopup>},
    {OLESTR("append"), 0xB0002, MemberKind::kMethod, VT_I4, 2, {VT_BSTR, VT_I4}, &MemberThunk<CMenuObj, &CMenuObj::Append>},
    {nullptr, 0, MemberKind::kMethod, VT_EMPTY, 0, {}, nullptr},
};

DispatchTypeInfo& MenuTypeInfo() {
  static DispatchTypeInfo info(kMenuMembers);
  return info;
}

}  // namespace

CMenuObj* CMenuObj::Create(FrameLinkPtr frame) { return new CMenuObj(std::move(frame)); }

CMenuObj::CMenuObj(FrameLinkPtr frame) : TableDispatch(MenuTypeInfo()), frame_(std::move(frame)) {}

HRESULT CMenuObj::TrackPopup(VARIANT* args, VARIANT* result) {
  IReaderFrame* frame = frame_ ? frame_->frame : nullptr;
  int32_t chosen = 0;
  if (frame && frame->HasMainWindow()) chosen = frame->TrackPopupMenu(items_, args[0].lVal, args[1].lVal);
  SetI4Result(result, chosen);
  return S_OK;
}

HRESULT CMenuObj::Append(VARIANT* args, VARIANT* result) {
  WideStringView text = BstrView(args[0].bstrVal);
  if (text == OLESTR("-")) {
    items_.push_back({MenuItem::Kind::kSeparator, {}, 0});
  } else if (!text.empty()) {
    items_.push_back({MenuItem::Kind::kText, WideToUtf8(text), args[1].lVal});
  }
  SetI4Result(result, int32_t(items_.size()));
  return S_OK;
}

}  // namespace lectern
