// The list object that page script makes with createObject("vellum.std.list"): an ordered list of
// strings that a book can keep in the registry between runs, as the binary default value of a key
// under HKEY_CLASSES_ROOT (usually below the reader's registryRoot).
//
// Registry form: for each item its bytes then 0x01, every one of those bytes XORed with 0xA7;
// then one unmasked 0x00. An empty list has no form: saving it writes nothing.
//
// The stored value is outside input. Reading it takes any bytes: a value that is not a list form
// (empty, without its end byte, over kMaxListFormSize, more than kMaxListItems items, another
// type) leaves the list as it was. Saving refuses a list that could not be read back, and never
// replaces a default value of another type, which belongs to something that is not a list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>

#include "script/dispatch_table.h"

namespace lectern {

inline constexpr uint8_t kListFormMask = 0xA7;
inline constexpr char kListItemEnd = 0x01;
inline constexpr size_t kMaxListFormSize = size_t{1} << 20;
inline constexpr size_t kMaxListItems = size_t{1} << 16;

using ListItems = std::list<std::string>;

// The registry form of `items`: "" for an empty list, or when the form would be over either limit
// (`*too_large`, may be null, tells which).
std::string EncodeListRegistryForm(const ListItems& items, bool* too_large = nullptr);
// Reads a registry form into `*items`, replacing them; false, with `*items` untouched, when
// `form` is not one, or holds a list that could not be written back under the same limits. Items holding 0x01 were split at it when they were written, and come back
// as their pieces; empty pieces are no items.
bool DecodeListRegistryForm(std::string_view form, ListItems* items);

class CListObj final : public TableDispatch {
 public:
  // A new, empty list with one reference.
  static CListObj* Create();

  // Items are UTF-8, as script gave them.
  const ListItems& items() const { return items_; }

  // Writes the list as the default value of `key` under HKEY_CLASSES_ROOT, making the key when
  // missing. False when nothing was written: empty key or list, a list too large for its form,
  // a default value of another type in the way, or a registry failure.
  bool SaveToKey(std::string_view key) const;
  // Replaces the list by the one stored at `key`. False, with the list unchanged, when the key
  // is missing (it is not made) or holds no list form.
  bool LoadFromKey(std::string_view key);

  // length -> the number of items.
  HRESULT GetLength(VARIANT* args, VARIANT* result);
  // item(index) -> the item at that 0-based position, "" outside the list.
  HRESULT Item(VARIANT* args, VARIANT* result);
  // push_back(text), push_front(text) -> the new length; an empty text is not added.
  HRESULT PushBack(VARIANT* args, VARIANT* result);
  HRESULT PushFront(VARIANT* args, VARIANT* result);
  // saveToRegistry(key), loadFromRegistry(key) -> 1 when written / loaded, else 0.
  HRESULT SaveToRegistry(VARIANT* args, VARIANT* result);
  HRESULT LoadFromRegistry(VARIANT* args, VARIANT* result);

 private:
  CListObj();
  ListItems items_;
};

// A new list for the reader's createObject (matches CReader::ListFactory).
IDispatch* NewListObject();

}  // namespace lectern
