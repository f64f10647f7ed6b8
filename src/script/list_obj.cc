#include "script/list_obj.h"

#include <iterator>
#include <limits>

#include "platform/registry.h"

namespace lectern {
namespace {

template <HRESULT (CListObj::*Member)(VARIANT*, VARIANT*)>
constexpr MemberCall Call = &MemberThunk<CListObj, Member>;

constexpr MemberKind kMethod = MemberKind::kMethod;
constexpr MemberKind kGet = MemberKind::kPropertyGet;

const MemberRow kListMembers[] = {
    {OLESTR("length"), 0xF0001, kGet, VT_I4, 0, {}, Call<&CListObj::GetLength>},
    {OLESTR("item"), 0xB0001, kMethod, VT_BSTR, 1, {VT_I4}, Call<&CListObj::Item>},
    {OLESTR("push_back"), 0xB0002, kMethod, VT_I4, 1, {VT_BSTR}, Call<&CListObj::PushBack>},
    {OLESTR("push_front"), 0xB0003, kMethod, VT_I4, 1, {VT_BSTR}, Call<&CListObj::PushFront>},
    {OLESTR("saveToRegistry"), 0xB0004, kMethod, VT_I4, 1, {VT_BSTR}, Call<&CListObj::SaveToRegistry>},
    {OLESTR("loadFromRegistry"), 0xB0005, kMethod, VT_I4, 1, {VT_BSTR}, Call<&CListObj::LoadFromRegistry>},
    {nullptr, 0, kMethod, VT_EMPTY, 0, {}, nullptr},
};

DispatchTypeInfo& ListTypeInfo() {
  static DispatchTypeInfo info(kListMembers);
  return info;
}

constexpr char kListFormEnd = 0x00;
constexpr char kMaskedItemEnd = char(uint8_t(kListItemEnd) ^ kListFormMask);

std::string BstrText(const VARIANT& v) { return WideToUtf8(BstrView(v.bstrVal)); }

int32_t ClampedCount(size_t count) {
  return count > size_t(std::numeric_limits<int32_t>::max()) ? std::numeric_limits<int32_t>::max() : int32_t(count);
}

// A key that the registry would read differently from what script wrote (cut at a NUL) is no key.
bool UsableKey(std::string_view key) { return !key.empty() && key.find('\0') == std::string_view::npos; }

// Calls `piece(begin, end)` for each non-empty run between item ends in the unmasked `body`.
template <typename Piece>
void ForEachPiece(std::string_view body, Piece piece) {
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find(kListItemEnd, start);
    if (end == std::string_view::npos) end = body.size();
    if (end > start) piece(start, end);
    start = end + 1;
  }
}

}  // namespace

std::string EncodeListRegistryForm(const ListItems& items, bool* too_large) {
  if (too_large) *too_large = false;
  // Items may hold the item end themselves; what counts is the pieces a reader will see.
  size_t size = 1;
  size_t pieces = 0;
  bool in_piece = false;
  for (const std::string& item : items) {
    size += item.size() + 1;
    for (char c : item) {
      if (c == kListItemEnd) {
        in_piece = false;
      } else if (!in_piece) {
        in_piece = true;
        ++pieces;
      }
    }
    in_piece = false;
    if (size > kMaxListFormSize || pieces > kMaxListItems) {
      if (too_large) *too_large = true;
      return {};
    }
  }
  if (items.empty()) return {};

  std::string form;
  form.reserve(size);
  for (const std::string& item : items) {
    for (char c : item) form.push_back(char(uint8_t(c) ^ kListFormMask));
    form.push_back(kMaskedItemEnd);
  }
  form.push_back(kListFormEnd);
  return form;
}

bool DecodeListRegistryForm(std::string_view form, ListItems* items) {
  if (form.empty() || form.size() > kMaxListFormSize || form.back() != kListFormEnd) return false;
  std::string body(form.substr(0, form.size() - 1));
  for (char& c : body) c = char(uint8_t(c) ^ kListFormMask);

  // The list read must be one that can be written again: the same limits on its own form, which
  // is a byte longer than `form` when the last item lacks its item end.
  size_t pieces = 0;
  size_t encoded_size = 1;
  ForEachPiece(body, [&](size_t begin, size_t end) {
    ++pieces;
    encoded_size += end - begin + 1;
  });
  if (pieces > kMaxListItems || encoded_size > kMaxListFormSize) return false;

  ListItems decoded;
  ForEachPiece(body, [&](size_t begin, size_t end) { decoded.emplace_back(body, begin, end - begin); });
  items->swap(decoded);
  return true;
}

CListObj* CListObj::Create() { return new CListObj(); }

CListObj::CListObj() : TableDispatch(ListTypeInfo()) {}

IDispatch* NewListObject() { return CListObj::Create(); }

bool CListObj::SaveToKey(std::string_view key_name) const {
  if (!UsableKey(key_name)) return false;
  const std::string path(key_name);
  RegistryKeyHolder key;
  if (RegistryOpenKey(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ | KEY_WRITE, key.out()) != ERROR_SUCCESS &&
      RegistryCreateKey(HKEY_CLASSES_ROOT, path.c_str(), REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, key.out(),
                        nullptr) != ERROR_SUCCESS)
    return false;

  const std::string form = EncodeListRegistryForm(items_);
  if (form.empty()) return false;
  // A default value of another type is some other program's setting, not a list to replace.
  DWORD type = REG_NONE;
  LONG rc = RegistryQueryValue(key.get(), nullptr, &type, nullptr, nullptr);
  if (rc == ERROR_SUCCESS && type != REG_BINARY) return false;
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
  return RegistrySetValue(key.get(), nullptr, REG_BINARY, reinterpret_cast<const BYTE*>(form.data()),
                          DWORD(form.size())) == ERROR_SUCCESS;
}

bool CListObj::LoadFromKey(std::string_view key_name) {
  if (!UsableKey(key_name)) return false;
  const std::string path(key_name);
  RegistryKeyHolder key;
  if (RegistryOpenKey(HKEY_CLASSES_ROOT, path.c_str(), KEY_READ | KEY_WRITE, key.out()) != ERROR_SUCCESS) return false;

  DWORD type = REG_NONE;
  DWORD size = 0;
  if (RegistryQueryValue(key.get(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  // The size is looked at before any buffer is made for it.
  if (size == 0 || type != REG_BINARY || size > kMaxListFormSize) return false;
  std::string form(size, '\0');
  DWORD read = size;
  // The value may have changed in between (another reader): then it is read on the next load.
  if (RegistryQueryValue(key.get(), nullptr, &type, reinterpret_cast<BYTE*>(form.data()), &read) != ERROR_SUCCESS ||
      type != REG_BINARY || read > size)
    return false;
  form.resize(read);
  return DecodeListRegistryForm(form, &items_);
}

HRESULT CListObj::GetLength(VARIANT*, VARIANT* result) {
  SetI4Result(result, ClampedCount(items_.size()));
  return S_OK;
}

HRESULT CListObj::Item(VARIANT* args, VARIANT* result) {
  const int32_t index = args[0].lVal;
  if (index < 0 || size_t(index) >= items_.size()) {
    SetBstrResult(result, "");
    return S_OK;
  }
  auto it = items_.begin();
  std::advance(it, index);
  SetBstrResult(result, *it);
  return S_OK;
}

HRESULT CListObj::PushBack(VARIANT* args, VARIANT* result) {
  std::string text = BstrText(args[0]);
  if (!text.empty()) items_.push_back(std::move(text));
  SetI4Result(result, ClampedCount(items_.size()));
  return S_OK;
}

HRESULT CListObj::PushFront(VARIANT* args, VARIANT* result) {
  std::string text = BstrText(args[0]);
  if (!text.empty()) items_.push_front(std::move(text));
  SetI4Result(result, ClampedCount(items_.size()));
  return S_OK;
}

HRESULT CListObj::SaveToRegistry(VARIANT* args, VARIANT* result) {
  SetI4Result(result, SaveToKey(BstrText(args[0])) ? 1 : 0);
  return S_OK;
}

HRESULT CListObj::LoadFromRegistry(VARIANT* args, VARIANT* result) {
  SetI4Result(result, LoadFromKey(BstrText(args[0])) ? 1 : 0);
  return S_OK;
}

}  // namespace lectern
