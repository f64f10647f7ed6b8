#include "script/dispatch_table.h"

#include <cstring>
#include <memory>

namespace lectern {
namespace {

OLECHAR FoldAscii(OLECHAR c) { return (c >= OLESTR('A') && c <= OLESTR('Z')) ? OLECHAR(c + 32) : c; }

bool EqualsIgnoringCase(WideStringView a, WideStringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

WideStringView NameView(const OLECHAR* name) {
  if (!name) return {};
  size_t n = 0;
  while (name[n]) ++n;
  return WideStringView(name, n);
}

#ifndef _WIN32
// The type information handed to script: lives as long as the table's information, for the
// whole program, so its references are only counted for form's sake.
class TypeInfoObject final : public ITypeInfo {
 public:
  explicit TypeInfoObject(const DispatchTypeInfo& info) : info_(info) {}
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(iid == IID_IUnknown) && !(iid == IID_ITypeInfo)) return E_NOINTERFACE;
    *object = static_cast<ITypeInfo*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override { return --references_; }
  HRESULT GetIDsOfNames(OLECHAR** names, UINT count, MEMBERID* ids) override {
    return info_.LookUpNames(names, count, ids);
  }

 private:
  const DispatchTypeInfo& info_;
  std::atomic<ULONG> references_{1};
};
#endif

}  // namespace

#ifdef _WIN32
namespace {

WORD InvokeKind(MemberKind kind) {
  switch (kind) {
    case MemberKind::kPropertyGet: return DISPATCH_PROPERTYGET;
    case MemberKind::kPropertyPut: return DISPATCH_PROPERTYPUT;
    default: return DISPATCH_METHOD;
  }
}

// The member function's three arguments, as DispCallFunc pushes them: pointer-sized integers.
VARIANT PointerArgument(void* pointer) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = LONG(reinterpret_cast<intptr_t>(pointer));
  return v;
}

}  // namespace
#endif

DispatchTypeInfo::~DispatchTypeInfo() {
  if (object_) object_->Release();
}

HRESULT DispatchTypeInfo::Build() {
  std::call_once(once_, [this] {
    std::vector<Method> methods;
    for (size_t i = 0; table_[i].call; ++i) {
      const MemberRow& row = table_[i];
      if (row.param_count > kMaxMemberParams) return void(status_ = E_INVALIDARG);
      DISPID id = row.id;
      if (row.kind == MemberKind::kPropertyPut) {
        if (methods.empty()) return void(status_ = E_INVALIDARG);
        id = methods.back().id;
      }
      methods.push_back({WideString(NameView(row.name)), id, i, row.kind, row.result,
                         std::vector<VARTYPE>(row.params, row.params + row.param_count)});
    }
    methods_ = std::move(methods);
#ifdef _WIN32
    static OLECHAR kParamName[] = L"value";
    param_data_.resize(methods_.size());
    for (size_t i = 0; i < methods_.size(); ++i) {
      const Method& m = methods_[i];
      for (VARTYPE vt : m.params) param_data_[i].push_back(PARAMDATA{kParamName, vt});
      method_data_.push_back(METHODDATA{const_cast<OLECHAR*>(m.name.c_str()),
                                        param_data_[i].empty() ? nullptr : param_data_[i].data(), m.id, UINT(m.index),
                                        CC_STDCALL, UINT(m.params.size()), InvokeKind(m.kind), m.result});
    }
    INTERFACEDATA data{method_data_.data(), UINT(method_data_.size())};
    if (HRESULT hr = ::CreateDispTypeInfo(&data, LOCALE_SYSTEM_DEFAULT, &object_); FAILED(hr)) {
      object_ = nullptr;
      return void(status_ = hr);
    }
#endif
    for (const Method& m : methods_) cache_.emplace_back(m.name, m.id);
    status_ = S_OK;
  });
  return status_;
}

bool DispatchTypeInfo::FindCached(WideStringView name, DISPID& id) const {
  for (const auto& [cached, cached_id] : cache_) {
    if (cached.size() == name.size() && cached == name) {
      id = cached_id;
      return true;
    }
  }
  return false;
}

HRESULT DispatchTypeInfo::LookUpNames(OLECHAR** names, UINT count, DISPID* ids) const {
  if (count == 0) return S_OK;
  if (!names || !ids) return E_INVALIDARG;
  HRESULT hr = S_OK;
  ids[0] = DISPID_UNKNOWN;
  WideStringView member = NameView(names[0]);
  for (const Method& m : methods_) {
    if (EqualsIgnoringCase(m.name, member)) {
      ids[0] = m.id;
      break;
    }
  }
  if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  for (UINT i = 1; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}

const MemberRow* DispatchTypeInfo::FindRow(DISPID id, bool property_put) const {
  for (size_t i = 0; i < methods_.size(); ++i) {
    const Method& m = methods_[i];
    if (m.kind == MemberKind::kPropertyPut || m.id != id) continue;
    if (property_put && i + 1 < methods_.size() && methods_[i + 1].kind == MemberKind::kPropertyPut)
      return &table_[methods_[i + 1].index];
    return &table_[m.index];
  }
  return nullptr;
}

HRESULT TableDispatch::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid == IID_IUnknown || iid == IID_IDispatch) {
    *object = static_cast<IDispatch*>(this);
  } else if (iid == IID_IObjectSafety) {
    *object = static_cast<IObjectSafety*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG TableDispatch::AddRef() { return ++references_; }

ULONG TableDispatch::Release() {
  ULONG left = --references_;
  if (left == 0) delete this;
  return left;
}

namespace {

// Script's null for a text or an object is an absent one (a null caption shows the default).
// The system's conversion refuses null for every type, so the table answers it first.
HRESULT ConvertArgument(VARIANT& given, VARTYPE type, VARIANT* out) {
  if (given.vt == VT_NULL && type == VT_BSTR) {
    out->vt = VT_BSTR;
    out->bstrVal = nullptr;
    return S_OK;
  }
  if (given.vt == VT_NULL && type == VT_DISPATCH) {
    out->vt = VT_DISPATCH;
    out->pdispVal = nullptr;
    return S_OK;
  }
  return VariantChangeType(out, &given, 0, type);
}

}  // namespace

HRESULT TableDispatch::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TableDispatch::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  if (HRESULT hr = type_info_.Build(); FAILED(hr)) return hr;
#ifdef _WIN32
  *info = type_info_.type_info_object();
  (*info)->AddRef();
  return S_OK;
#else
  // One per table, released with the program's statics at shut-down.
  static std::mutex mutex;
  static std::vector<std::pair<const DispatchTypeInfo*, std::unique_ptr<TypeInfoObject>>> objects;
  std::lock_guard lock(mutex);
  TypeInfoObject* object = nullptr;
  for (auto& [owner, made] : objects)
    if (owner == &type_info_) object = made.get();
  if (!object) {
    objects.emplace_back(&type_info_, std::make_unique<TypeInfoObject>(type_info_));
    object = objects.back().second.get();
  }
  object->AddRef();
  *info = object;
  return S_OK;
#endif
}

HRESULT TableDispatch::GetIDsOfNames(REFIID, OLECHAR** names, UINT count, LCID, DISPID* ids) {
  if (HRESULT hr = type_info_.Build(); FAILED(hr)) return hr;
  if (count == 0) return S_OK;
  if (!names || !ids) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) {
    if (!type_info_.FindCached(NameView(names[i]), ids[i])) {
#ifdef _WIN32
      // The system's lookup, which ignores case, answers the whole request.
      return type_info_.type_info_object()->GetIDsOfNames(names, count, ids);
#else
      return type_info_.LookUpNames(names, count, ids);
#endif
    }
  }
  return S_OK;
}

HRESULT TableDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                              UINT* argument_error) {
  if (HRESULT hr = type_info_.Build(); FAILED(hr)) return hr;
  if (!params) return E_INVALIDARG;
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (params->cNamedArgs > 0 && !put) return DISP_E_NONAMEDARGS;
  const MemberRow* row = type_info_.FindRow(id, put);
  if (!row) return DISP_E_MEMBERNOTFOUND;
  const UINT count = params->cArgs;
  if (count != row->param_count) return DISP_E_BADPARAMCOUNT;
  if (count > 0 && !params->rgvarg) return E_INVALIDARG;

  VARIANT args[kMaxMemberParams];
  for (UINT i = 0; i < count; ++i) VariantInit(&args[i]);
  auto clear_args = [&] {
    for (UINT i = 0; i < count; ++i) VariantClear(&args[i]);
  };
  for (UINT i = 0; i < count; ++i) {
    const UINT given = count - 1 - i;  // arguments arrive last first
    VARIANT resolved;
    VariantInit(&resolved);
    HRESULT hr = VariantCopyInd(&resolved, &params->rgvarg[given]);
    if (SUCCEEDED(hr)) hr = ConvertArgument(resolved, row->params[i], &args[i]);
    VariantClear(&resolved);
    if (FAILED(hr)) {
      clear_args();
      if (argument_error) *argument_error = given;
      return DISP_E_TYPEMISMATCH;
    }
  }

  VARIANT value;
  VariantInit(&value);
#ifdef _WIN32
  VARIANT call_args[3] = {PointerArgument(static_cast<IDispatch*>(this)), PointerArgument(args),
                          PointerArgument(&value)};
  VARTYPE call_types[3] = {VT_I4, VT_I4, VT_I4};
  VARIANTARG* call_arg_pointers[3] = {&call_args[0], &call_args[1], &call_args[2]};
  VARIANT returned;
  VariantInit(&returned);
  HRESULT hr = ::DispCallFunc(nullptr, reinterpret_cast<ULONG_PTR>(row->call), CC_STDCALL, VT_ERROR, 3, call_types,
                              call_arg_pointers, &returned);
  // The call itself succeeded: the member's own code is the answer.
  if (SUCCEEDED(hr)) hr = returned.scode;
#else
  HRESULT hr = row->call(static_cast<IDispatch*>(this), args, &value);
#endif
  clear_args();
  if (result) {
    VariantInit(result);
    *result = value;
  } else {
    VariantClear(&value);
  }
  return hr;
}

HRESULT TableDispatch::GetInterfaceSafetyOptions(REFIID, DWORD* supported, DWORD* enabled) {
  if (!supported || !enabled) return E_POINTER;
  *supported = *enabled = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
  return S_OK;
}

HRESULT TableDispatch::SetInterfaceSafetyOptions(REFIID, DWORD, DWORD) { return S_OK; }

void SetBstrResult(VARIANT* result, std::string_view utf8) {
  result->vt = VT_BSTR;
  result->bstrVal = AllocBstrFromUtf8(utf8);
}

void SetBoolResult(VARIANT* result, bool value) {
  result->vt = VT_BOOL;
  result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void SetI4Result(VARIANT* result, int32_t value) {
  result->vt = VT_I4;
  result->lVal = value;
}

void SetDispatchResult(VARIANT* result, IDispatch* object) {
  result->vt = VT_DISPATCH;
  result->pdispVal = object;
}

}  // namespace lectern
