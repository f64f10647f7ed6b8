// The automation shapes that script objects speak: VARIANT values, argument arrays, IDispatch,
// type information and the safety interface. On Windows they are the system's own; elsewhere a
// portable copy with the same layout rules and meanings, for the types script hands us.
#pragma once

#include <cstdint>

#include "platform/com.h"

#ifdef _WIN32
#include <oaidl.h>
#include <objsafe.h>
#else

using VARTYPE = uint16_t;
using VARIANT_BOOL = int16_t;
using DISPID = int32_t;
using MEMBERID = DISPID;
using LCID = uint32_t;
using UINT = uint32_t;
using WORD = uint16_t;
using DWORD = uint32_t;
using USHORT = uint16_t;
using SCODE = int32_t;

enum VARENUM : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_BYREF = 0x4000,
  VT_TYPEMASK = 0x0FFF,
};

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
// VariantChangeType flag: booleans become "True" / "False" rather than "-1" / "0".
inline constexpr USHORT VARIANT_ALPHABOOL = 0x02;

inline constexpr WORD DISPATCH_METHOD = 0x1;
inline constexpr WORD DISPATCH_PROPERTYGET = 0x2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;

inline constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_CALLER = 0x1;
inline constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_DATA = 0x2;

class IDispatch;
struct VARIANT;

struct VARIANT {
  VARTYPE vt;
  WORD wReserved1;
  WORD wReserved2;
  WORD wReserved3;
  union {
    int32_t lVal;
    int16_t iVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    SCODE scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    int32_t* plVal;
    int16_t* piVal;
    double* pdblVal;
    VARIANT_BOOL* pboolVal;
    BSTR* pbstrVal;
    IUnknown** ppunkVal;
    IDispatch** ppdispVal;
    VARIANT* pvarVal;
    void* byref;
  };
};
using VARIANTARG = VARIANT;

struct DISPPARAMS {
  VARIANTARG* rgvarg;  // last argument first
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  void* pvReserved;
  void* pfnDeferredFillIn;
  SCODE scode;
};

// {00020400-0000-0000-C000-000000000046}
inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00020401-0000-0000-C000-000000000046}
inline constexpr IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {CB5BDC81-93C1-11CF-8F20-00805F2CD064}
inline constexpr IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
inline constexpr IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// Type information as script objects here need it: member names to ids, names compared without
// regard to case.
class ITypeInfo : public IUnknown {
 public:
  virtual HRESULT GetIDsOfNames(OLECHAR** names, UINT count, MEMBERID* ids) = 0;

 protected:
  ~ITypeInfo() = default;
};

class IDispatch : public IUnknown {
 public:
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID iid, OLECHAR** names, UINT count, LCID locale, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* argument_error) = 0;

 protected:
  ~IDispatch() = default;
};

class IObjectSafety : public IUnknown {
 public:
  virtual HRESULT GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) = 0;
  virtual HRESULT SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) = 0;

 protected:
  ~IObjectSafety() = default;
};

void VariantInit(VARIANTARG* value);
// Frees what the value owns (string, object reference) and leaves it VT_EMPTY; by-reference values
// own nothing. DISP_E_BADVARTYPE, unchanged, for a type this build does not know.
HRESULT VariantClear(VARIANTARG* value);
// `dest` is cleared, then gets its own copy: strings duplicated, objects referenced again,
// by-reference values copied as the same reference.
HRESULT VariantCopy(VARIANTARG* dest, const VARIANTARG* src);
// As VariantCopy, but a by-reference value is copied as the value it refers to. `dest` may be `src`.
HRESULT VariantCopyInd(VARIANT* dest, const VARIANTARG* src);
// Converts `src` (by-reference values resolved first) to `vt` into `dest`, which may be `src`.
// VT_EMPTY reads as 0, false or the empty string; VT_NULL reads as a null string or object and
// converts to nothing else; objects convert through their default value (DISPID_VALUE).
// DISP_E_TYPEMISMATCH, DISP_E_OVERFLOW or DISP_E_BADVARTYPE leave `dest` unchanged.
HRESULT VariantChangeType(VARIANTARG* dest, const VARIANTARG* src, USHORT flags, VARTYPE vt);

#endif
