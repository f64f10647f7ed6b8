#include "script/variant.h"

#ifndef _WIN32

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool IsKnownType(VARTYPE vt) {
  switch (vt & VT_TYPEMASK) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_R8:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
      return (vt & ~(VT_TYPEMASK | VT_BYREF)) == 0 && !((vt & VT_BYREF) && (vt & VT_TYPEMASK) <= VT_NULL);
    case VT_VARIANT:
      return vt == (VT_VARIANT | VT_BYREF);
    default:
      return false;
  }
}

BSTR CopyBstr(BSTR text) { return text ? SysAllocStringLen(text, SysStringLen(text)) : nullptr; }

BSTR BstrFromAscii(const char* text) {
  std::u16string wide(text, text + std::strlen(text));
  return SysAllocStringLen(wide.data(), uint32_t(wide.size()));
}

// The number a string spells: optional spaces, sign, digits, fraction and exponent. No hex, no
// infinities, nothing after the number but spaces.
bool ParseNumber(BSTR text, double& value) {
  std::string narrow = lectern::WideToUtf8(lectern::BstrView(text));
  size_t begin = narrow.find_first_not_of(" \t");
  size_t end = narrow.find_last_not_of(" \t");
  if (begin == std::string::npos) return false;
  narrow = narrow.substr(begin, end - begin + 1);
  if (narrow.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
  char* stop = nullptr;
  value = std::strtod(narrow.c_str(), &stop);
  return stop && *stop == '\0' && stop != narrow.c_str() && std::isfinite(value);
}

HRESULT ToInteger(double value, double low, double high, int32_t& out) {
  double rounded = std::nearbyint(value);  // halves to even, as the platform rounds
  if (!(rounded >= low && rounded <= high)) return DISP_E_OVERFLOW;
  out = int32_t(rounded);
  return S_OK;
}

HRESULT Convert(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT& out, int depth);

// An object stands for its default value.
HRESULT DefaultValue(IDispatch* object, USHORT flags, VARTYPE vt, VARIANT& out, int depth) {
  if (!object || depth > 0) return DISP_E_TYPEMISMATCH;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT value;
  VariantInit(&value);
  HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &value, nullptr, nullptr);
  if (FAILED(hr)) {
    VariantClear(&value);
    return DISP_E_TYPEMISMATCH;
  }
  hr = Convert(value, flags, vt, out, depth + 1);
  VariantClear(&value);
  return hr;
}

HRESULT Convert(const VARIANT& value, USHORT flags, VARTYPE vt, VARIANT& out, int depth) {
  VariantInit(&out);
  const VARTYPE from = value.vt;
  if (from == VT_DISPATCH && vt != VT_DISPATCH && vt != VT_UNKNOWN && vt != VT_EMPTY)
    return DefaultValue(value.pdispVal, flags, vt, out, depth);
  if (from == VT_ERROR && vt != VT_ERROR) return DISP_E_TYPEMISMATCH;
  if (from == VT_UNKNOWN && vt != VT_UNKNOWN && vt != VT_DISPATCH && vt != VT_EMPTY) return DISP_E_TYPEMISMATCH;

  switch (vt) {
    case VT_EMPTY:
      return S_OK;
    case VT_NULL:
      out.vt = VT_NULL;
      return S_OK;
    case VT_ERROR:
      if (from != VT_ERROR) return DISP_E_TYPEMISMATCH;
      out = value;
      return S_OK;
    case VT_I2:
    case VT_I4: {
      const bool i2 = vt == VT_I2;
      const double low = i2 ? -32768.0 : -2147483648.0, high = i2 ? 32767.0 : 2147483647.0;
      int32_t n = 0;
      double d = 0;
      switch (from) {
        case VT_EMPTY: break;
        case VT_I2: n = value.iVal; break;
        case VT_I4: n = value.lVal; break;
        case VT_BOOL: n = value.boolVal; break;
        case VT_R8:
          if (HRESULT hr = ToInteger(value.dblVal, low, high, n); FAILED(hr)) return hr;
          break;
        case VT_BSTR:
          if (!ParseNumber(value.bstrVal, d)) return DISP_E_TYPEMISMATCH;
          if (HRESULT hr = ToInteger(d, low, high, n); FAILED(hr)) return hr;
          break;
        default: return DISP_E_TYPEMISMATCH;
      }
      if (n < low || n > high) return DISP_E_OVERFLOW;
      out.vt = vt;
      if (i2) out.iVal = int16_t(n);
      else out.lVal = n;
      return S_OK;
    }
    case VT_R8: {
      double d = 0;
      switch (from) {
        case VT_EMPTY: break;
        case VT_I2: d = value.iVal; break;
        case VT_I4: d = value.lVal; break;
        case VT_BOOL: d = value.boolVal; break;
        case VT_R8: d = value.dblVal; break;
        case VT_BSTR:
          if (!ParseNumber(value.bstrVal, d)) return DISP_E_TYPEMISMATCH;
          break;
        default: return DISP_E_TYPEMISMATCH;
      }
      out.vt = VT_R8;
      out.dblVal = d;
      return S_OK;
    }
    case VT_BOOL: {
      bool b = false;
      double d = 0;
      switch (from) {
        case VT_EMPTY: break;
        case VT_I2: b = value.iVal != 0; break;
        case VT_I4: b = value.lVal != 0; break;
        case VT_BOOL: b = value.boolVal != 0; break;
        case VT_R8: b = value.dblVal != 0; break;
        case VT_BSTR: {
          std::string text = lectern::WideToUtf8(lectern::BstrView(value.bstrVal));
          for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
          if (text == "true" || text == "#true#") b = true;
          else if (text == "false" || text == "#false#") b = false;
          else if (ParseNumber(value.bstrVal, d)) b = d != 0;
          else return DISP_E_TYPEMISMATCH;
          break;
        }
        default: return DISP_E_TYPEMISMATCH;
      }
      out.vt = VT_BOOL;
      out.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    }
    case VT_BSTR: {
      BSTR text = nullptr;
      char number[40];
      switch (from) {
        case VT_EMPTY: text = SysAllocStringLen(nullptr, 0); break;
        case VT_I2: std::snprintf(number, sizeof number, "%d", value.iVal); text = BstrFromAscii(number); break;
        case VT_I4: std::snprintf(number, sizeof number, "%d", value.lVal); text = BstrFromAscii(number); break;
        case VT_R8: std::snprintf(number, sizeof number, "%.15G", value.dblVal); text = BstrFromAscii(number); break;
        case VT_BOOL:
          text = BstrFromAscii((flags & VARIANT_ALPHABOOL) ? (value.boolVal ? "True" : "False")
                                                           : (value.boolVal ? "-1" : "0"));
          break;
        case VT_BSTR: text = CopyBstr(value.bstrVal); break;
        default: return DISP_E_TYPEMISMATCH;
      }
      if (!text && !(from == VT_BSTR && !value.bstrVal)) return E_OUTOFMEMORY;
      out.vt = VT_BSTR;
      out.bstrVal = text;
      return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IUnknown* object = nullptr;
      if (from == VT_DISPATCH || from == VT_UNKNOWN) {
        IUnknown* given = from == VT_DISPATCH ? static_cast<IUnknown*>(value.pdispVal) : value.punkVal;
        if (given && vt == VT_DISPATCH) {
          void* dispatch = nullptr;
          if (FAILED(given->QueryInterface(IID_IDispatch, &dispatch))) return DISP_E_TYPEMISMATCH;
          out.vt = VT_DISPATCH;
          out.pdispVal = static_cast<IDispatch*>(dispatch);
          return S_OK;
        }
        object = given;
        if (object) object->AddRef();
      } else if (from != VT_EMPTY) {
        return DISP_E_TYPEMISMATCH;
      }
      out.vt = vt;
      if (vt == VT_DISPATCH) out.pdispVal = static_cast<IDispatch*>(object);  // only null reaches here
      else out.punkVal = object;
      return S_OK;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
}

}  // namespace

void VariantInit(VARIANTARG* value) {
  if (!value) return;
  std::memset(value, 0, sizeof *value);
  value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* value) {
  if (!value) return E_INVALIDARG;
  if (!IsKnownType(value->vt)) return DISP_E_BADVARTYPE;
  if (!(value->vt & VT_BYREF)) {
    switch (value->vt) {
      case VT_BSTR: SysFreeString(value->bstrVal); break;
      case VT_DISPATCH:
        if (value->pdispVal) value->pdispVal->Release();
        break;
      case VT_UNKNOWN:
        if (value->punkVal) value->punkVal->Release();
        break;
      default: break;
    }
  }
  VariantInit(value);
  return S_OK;
}

HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (dest == src) return S_OK;
  if (!IsKnownType(src->vt)) return DISP_E_BADVARTYPE;
  VARIANT copy = *src;
  if (!(src->vt & VT_BYREF)) {
    if (src->vt == VT_BSTR) {
      copy.bstrVal = CopyBstr(src->bstrVal);
      if (src->bstrVal && !copy.bstrVal) return E_OUTOFMEMORY;
    } else if (src->vt == VT_DISPATCH && src->pdispVal) {
      src->pdispVal->AddRef();
    } else if (src->vt == VT_UNKNOWN && src->punkVal) {
      src->punkVal->AddRef();
    }
  }
  HRESULT hr = VariantClear(dest);
  if (FAILED(hr)) {
    VariantClear(&copy);
    return hr;
  }
  *dest = copy;
  return S_OK;
}

HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src) {
  if (!dest || !src) return E_INVALIDARG;
  if (!(src->vt & VT_BYREF)) {
    if (dest == src) return S_OK;
    return VariantCopy(dest, src);
  }
  if (!IsKnownType(src->vt)) return DISP_E_BADVARTYPE;
  if (!src->byref) return E_INVALIDARG;
  VARIANT value;
  VariantInit(&value);
  VARTYPE base = src->vt & VT_TYPEMASK;
  switch (base) {
    case VT_VARIANT:
      if (src->pvarVal->vt & VT_BYREF) return E_INVALIDARG;  // one level of reference only
      if (HRESULT hr = VariantCopy(&value, src->pvarVal); FAILED(hr)) return hr;
      break;
    case VT_I2: value.vt = VT_I2; value.iVal = *src->piVal; break;
    case VT_I4: value.vt = VT_I4; value.lVal = *src->plVal; break;
    case VT_R8: value.vt = VT_R8; value.dblVal = *src->pdblVal; break;
    case VT_BOOL: value.vt = VT_BOOL; value.boolVal = *src->pboolVal; break;
    case VT_ERROR: value.vt = VT_ERROR; value.scode = *reinterpret_cast<SCODE*>(src->byref); break;
    case VT_BSTR:
      value.vt = VT_BSTR;
      value.bstrVal = CopyBstr(*src->pbstrVal);
      if (*src->pbstrVal && !value.bstrVal) return E_OUTOFMEMORY;
      break;
    case VT_DISPATCH:
      value.vt = VT_DISPATCH;
      value.pdispVal = *src->ppdispVal;
      if (value.pdispVal) value.pdispVal->AddRef();
      break;
    case VT_UNKNOWN:
      value.vt = VT_UNKNOWN;
      value.punkVal = *src->ppunkVal;
      if (value.punkVal) value.punkVal->AddRef();
      break;
    default: return DISP_E_BADVARTYPE;
  }
  // `dest` may be `src`: a by-reference value owns nothing, so overwriting it loses nothing.
  if (dest != src) {
    if (HRESULT hr = VariantClear(dest); FAILED(hr)) {
      VariantClear(&value);
      return hr;
    }
  }
  *dest = value;
  return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt) {
  if (!dest || !src) return E_INVALIDARG;
  VARIANT value;
  VariantInit(&value);
  if (HRESULT hr = VariantCopyInd(&value, src); FAILED(hr)) return hr;
  VARIANT converted;
  HRESULT hr = Convert(value, flags, vt, converted, 0);
  VariantClear(&value);
  if (FAILED(hr)) return hr;
  if (HRESULT cleared = VariantClear(dest); FAILED(cleared)) {
    VariantClear(&converted);
    return cleared;
  }
  *dest = converted;
  return S_OK;
}

#endif
