// The few COM shapes the core speaks: result codes, interface identifiers, reference-counted
// interfaces and length-prefixed wide strings. On Windows they are the system's own; elsewhere a
// small portable copy with the same meaning, so the core reads the same on both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#include <oleauto.h>
#define LECTERN_COM_CALL STDMETHODCALLTYPE
#else
#define LECTERN_COM_CALL

using HRESULT = int32_t;
using ULONG = uint32_t;
using OLECHAR = char16_t;
using BSTR = OLECHAR*;
// A wide literal in the platform's wide character type, as the system headers spell it there.
#define OLESTR(text) u##text

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = int32_t(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = int32_t(0x80004002u);
inline constexpr HRESULT E_POINTER = int32_t(0x80004003u);
inline constexpr HRESULT E_FAIL = int32_t(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = int32_t(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = int32_t(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = int32_t(0x80070057u);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = int32_t(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = int32_t(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = int32_t(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = int32_t(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = int32_t(0x80020006u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = int32_t(0x80020007u);
inline constexpr HRESULT DISP_E_BADVARTYPE = int32_t(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = int32_t(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = int32_t(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = int32_t(0x8002000Bu);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = int32_t(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = int32_t(0x8002000Fu);

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
using REFIID = const IID&;

inline bool operator==(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IUnknown {
 public:
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  // Objects go away through Release, never through delete on an interface pointer.
  ~IUnknown() = default;
};

// Length-prefixed, NUL-terminated wide strings; null is the empty string.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);
#endif

namespace lectern {

using WideString = std::basic_string<OLECHAR>;
using WideStringView = std::basic_string_view<OLECHAR>;

// UTF-8 <-> UTF-16, the one conversion at the script and wide-path boundaries. Ill-formed input
// becomes U+FFFD rather than being dropped, so lengths never surprise a caller.
std::string WideToUtf8(WideStringView wide);
WideString Utf8ToWide(std::string_view utf8);

// The text of a BSTR (null reads as empty) and a fresh BSTR of UTF-8 text; free it with SysFreeString.
inline WideStringView BstrView(BSTR text) { return text ? WideStringView(text, SysStringLen(text)) : WideStringView(); }
BSTR AllocBstrFromUtf8(std::string_view utf8);

// A reference held on a COM object: released with the holder.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* p, bool add_ref = true) : p_(p) {
    if (p_ && add_ref) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() {
    if (p_) p_->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Hands out the pointer with its reference (for out parameters).
  T* Detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace lectern
