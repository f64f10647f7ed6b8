// Calls through IDispatch the way script makes them, for the tests of the script objects.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "script/variant.h"

namespace lectern::testing {

// Owns a VARIANT for a test.
class Var {
 public:
  Var() { VariantInit(&v_); }
  ~Var() { VariantClear(&v_); }
  Var(const Var& o) : Var() { VariantCopy(&v_, const_cast<VARIANT*>(&o.v_)); }
  Var& operator=(const Var& o) {
    VariantCopy(&v_, const_cast<VARIANT*>(&o.v_));
    return *this;
  }
  static Var I4(int32_t n) {
    Var v;
    v.v_.vt = VT_I4;
    v.v_.lVal = n;
    return v;
  }
  static Var R8(double d) {
    Var v;
    v.v_.vt = VT_R8;
    v.v_.dblVal = d;
    return v;
  }
  static Var Bool(bool b) {
    Var v;
    v.v_.vt = VT_BOOL;
    v.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Var Str(std::string_view utf8) {
    Var v;
    v.v_.vt = VT_BSTR;
    v.v_.bstrVal = AllocBstrFromUtf8(utf8);
    return v;
  }
  static Var Null() {
    Var v;
    v.v_.vt = VT_NULL;
    return v;
  }
  // Takes a new reference on `object`.
  static Var Dispatch(IDispatch* object) {
    Var v;
    v.v_.vt = VT_DISPATCH;
    v.v_.pdispVal = object;
    if (object) object->AddRef();
    return v;
  }
  VARIANT* get() { return &v_; }
  const VARIANT& operator*() const { return v_; }
  const VARIANT* operator->() const { return &v_; }
  std::string text() const { return v_.vt == VT_BSTR ? WideToUtf8(BstrView(v_.bstrVal)) : "<not a string>"; }

 private:
  VARIANT v_;
};

struct CallResult {
  HRESULT hr;
  Var value;
  UINT argument_error = 0xFFFFFFFF;
};

// Invokes `id` with `args` in the order script writes them (they travel last first).
inline CallResult Call(IDispatch* object, DISPID id, WORD flags, std::vector<Var> args, bool named_put = false) {
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(**it);
  DISPID put_name = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), named_put ? &put_name : nullptr,
                    UINT(reversed.size()), named_put ? 1u : 0u};
  CallResult result{E_FAIL, Var()};
  result.hr = object->Invoke(id, IID_NULL, 0, flags, &params, result.value.get(), nullptr, &result.argument_error);
  return result;
}

// The id of `name`, or DISPID_UNKNOWN.
inline DISPID IdOf(IDispatch* object, const OLECHAR* name) {
  OLECHAR* names[] = {const_cast<OLECHAR*>(name)};
  DISPID id = DISPID_UNKNOWN;
  object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  return id;
}

inline CallResult CallByName(IDispatch* object, const OLECHAR* name, std::vector<Var> args = {},
                             WORD flags = DISPATCH_METHOD) {
  return Call(object, IdOf(object, name), flags, std::move(args), flags == DISPATCH_PROPERTYPUT);
}

}  // namespace lectern::testing
