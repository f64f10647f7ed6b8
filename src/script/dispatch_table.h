// Table-driven automation: a script object declares its members in one table (name, dispatch id,
// kind, result and parameter types, member function); the type information, name lookup and
// calls are all made from that table.
//
// Invoke: named arguments only for a property put (else DISP_E_NONAMEDARGS); the first row with
// the requested id (a put row is never found directly; a property put takes the put row right
// after it) or DISP_E_MEMBERNOTFOUND; exactly the row's number of arguments or
// DISP_E_BADPARAMCOUNT; each argument, first parameter first, resolved if by reference and
// converted to its declared type, or DISP_E_TYPEMISMATCH. The kind of call is not otherwise
// compared: a property can be called as a method and a method read as a property.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "script/variant.h"

namespace lectern {

enum class MemberKind : uint8_t { kMethod, kPropertyGet, kPropertyPut };

inline constexpr size_t kMaxMemberParams = 8;

// A member function: `args` holds the converted arguments in the order script writes them; it
// writes a value of the row's result type to `result` (already VT_EMPTY).
// On Windows it is called through the system's DispCallFunc, in the standard call convention.
using MemberCall = HRESULT(LECTERN_COM_CALL*)(IDispatch* self, VARIANT* args, VARIANT* result);

struct MemberRow {
  const OLECHAR* name;
  DISPID id;  // ignored for a put row, which takes the id of the row before it
  MemberKind kind;
  VARTYPE result;  // VT_EMPTY: no result
  uint8_t param_count;
  VARTYPE params[kMaxMemberParams];
  MemberCall call;  // null ends the table
};

// Adapts a member function of `T` (a class deriving from IDispatch) to a table row's call.
template <typename T, HRESULT (T::*Member)(VARIANT*, VARIANT*)>
HRESULT LECTERN_COM_CALL MemberThunk(IDispatch* self, VARIANT* args, VARIANT* result) {
  return (static_cast<T*>(self)->*Member)(args, result);
}

// What the table tells, built once per table on first need.
class DispatchTypeInfo {
 public:
  struct Method {
    WideString name;
    DISPID id;
    size_t index;  // position in the table
    MemberKind kind;
    VARTYPE result;
    std::vector<VARTYPE> params;
  };

  explicit DispatchTypeInfo(const MemberRow* table) : table_(table) {}
  ~DispatchTypeInfo();
  DispatchTypeInfo(const DispatchTypeInfo&) = delete;
  DispatchTypeInfo& operator=(const DispatchTypeInfo&) = delete;

  // Builds on the first call; the same answer ever after. E_INVALIDARG for a table whose first row
  // is a put row or whose row has more than kMaxMemberParams parameters.
  HRESULT Build();
  const std::vector<Method>& methods() const { return methods_; }

  // The name cache: same length and characters, letter case counted.
  bool FindCached(WideStringView name, DISPID& id) const;
  // The type information's lookup: the first name a member (case ignored), any further names its
  // parameters, which these members do not name. DISP_E_UNKNOWNNAME with DISPID_UNKNOWN for each
  // unknown name.
  HRESULT LookUpNames(OLECHAR** names, UINT count, DISPID* ids) const;
  // The row a call with `id` runs, or null.
  const MemberRow* FindRow(DISPID id, bool property_put) const;
  // The type information handed to callers (after a successful Build): on Windows the system's,
  // made from the table by CreateDispTypeInfo.
  ITypeInfo* type_info_object() const { return object_; }

 private:
  const MemberRow* table_;
  std::once_flag once_;
  HRESULT status_ = E_UNEXPECTED;
  std::vector<Method> methods_;
  std::vector<std::pair<WideString, DISPID>> cache_;
  ITypeInfo* object_ = nullptr;
#ifdef _WIN32
  // What the system's type information was made from, kept for as long as it lives.
  std::vector<std::vector<PARAMDATA>> param_data_;
  std::vector<METHODDATA> method_data_;
#endif
};

// IDispatch and IObjectSafety over a member table, with single-threaded reference counting. The
// object starts with one reference, held by its creator.
class TableDispatch : public IDispatch, public IObjectSafety {
 public:
  HRESULT LECTERN_COM_CALL QueryInterface(REFIID iid, void** object) override;
  ULONG LECTERN_COM_CALL AddRef() override;
  ULONG LECTERN_COM_CALL Release() override;

  HRESULT LECTERN_COM_CALL GetTypeInfoCount(UINT* count) override;
  HRESULT LECTERN_COM_CALL GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT LECTERN_COM_CALL GetIDsOfNames(REFIID iid, OLECHAR** names, UINT count, LCID locale, DISPID* ids) override;
  HRESULT LECTERN_COM_CALL Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* exception, UINT* argument_error) override;

  // Safe for untrusted callers and data, so script uses it without a prompt.
  HRESULT LECTERN_COM_CALL GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
  HRESULT LECTERN_COM_CALL SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;

 protected:
  explicit TableDispatch(DispatchTypeInfo& type_info) : type_info_(type_info) {}

 public:
  // The members script sees, for hosts that describe the object to a page ahead of its calls.
  const DispatchTypeInfo& type_info() const { return type_info_; }

 protected:
  virtual ~TableDispatch() = default;

 private:
  DispatchTypeInfo& type_info_;
  ULONG references_ = 1;
};

// Result helpers for member functions.
void SetBstrResult(VARIANT* result, std::string_view utf8);
void SetBoolResult(VARIANT* result, bool value);
void SetI4Result(VARIANT* result, int32_t value);
// Takes over the reference (null gives a null object).
void SetDispatchResult(VARIANT* result, IDispatch* object);

}  // namespace lectern
