#include "browser/dispatch_endpoint.h"

#include "script/dispatch_table.h"

namespace lectern {
namespace {

class FrameWindowRef final : public IFrameWindowRef {
 public:
  explicit FrameWindowRef(uint64_t id) : id_(id) {}
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(iid == IID_IUnknown) && !(iid == IID_IDispatch)) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references_; }
  ULONG Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  uint64_t frame_id() const override { return id_; }

 private:
  ~FrameWindowRef() = default;
  ULONG references_ = 1;
  uint64_t id_;
};

ScriptMemberKind ToScriptKind(MemberKind kind) {
  switch (kind) {
    case MemberKind::kMethod: return ScriptMemberKind::kMethod;
    case MemberKind::kPropertyGet: return ScriptMemberKind::kPropertyGet;
    case MemberKind::kPropertyPut: return ScriptMemberKind::kPropertyPut;
  }
  return ScriptMemberKind::kMethod;
}

std::vector<ScriptMember> MembersOf(IDispatch* object) {
  std::vector<ScriptMember> members;
  auto* table = dynamic_cast<TableDispatch*>(object);
  if (!table) return members;
  auto& info = const_cast<DispatchTypeInfo&>(table->type_info());
  if (FAILED(info.Build())) return members;
  for (const DispatchTypeInfo::Method& m : info.methods())
    members.push_back({WideToUtf8(m.name), m.id, ToScriptKind(m.kind)});
  return members;
}

}  // namespace

void ToVariant(const ScriptValue& value, ScriptObjectRegistry& objects, VARIANT* out) {
  VariantInit(out);
  switch (value.kind()) {
    case ScriptValue::Kind::kEmpty: break;
    case ScriptValue::Kind::kNull: out->vt = VT_NULL; break;
    case ScriptValue::Kind::kInt32: out->vt = VT_I4; out->lVal = value.int32(); break;
    case ScriptValue::Kind::kBool: out->vt = VT_BOOL; out->boolVal = value.boolean() ? VARIANT_TRUE : VARIANT_FALSE; break;
    case ScriptValue::Kind::kDouble: out->vt = VT_R8; out->dblVal = value.number(); break;
    case ScriptValue::Kind::kWideString: {
      const WideString& s = value.wide_string();
      out->vt = VT_BSTR;
      out->bstrVal = SysAllocStringLen(s.data(), uint32_t(s.size()));
      break;
    }
    case ScriptValue::Kind::kString:
      out->vt = VT_BSTR;
      out->bstrVal = AllocBstrFromUtf8(value.string());
      break;
    case ScriptValue::Kind::kObject: {
      auto endpoint = std::dynamic_pointer_cast<DispatchEndpoint>(objects.Find(value.object(), 0));
      if (!endpoint) {
        out->vt = VT_NULL;
        break;
      }
      out->vt = VT_DISPATCH;
      out->pdispVal = endpoint->object();
      out->pdispVal->AddRef();
      break;
    }
    case ScriptValue::Kind::kFrame:
      out->vt = VT_DISPATCH;
      out->pdispVal = new FrameWindowRef(value.frame());
      break;
  }
}

ScriptValue FromVariant(const VARIANT& value, ScriptObjectRegistry& objects) {
  switch (value.vt) {
    case VT_EMPTY: return ScriptValue();
    case VT_NULL: return ScriptValue::Null();
    case VT_I4: return ScriptValue::Int32(value.lVal);
    case VT_I2: return ScriptValue::Int32(value.iVal);
    case VT_BOOL: return ScriptValue::Bool(value.boolVal != VARIANT_FALSE);
    case VT_R8: return ScriptValue::Double(value.dblVal);
    case VT_BSTR: return ScriptValue::WideString(WideString(BstrView(value.bstrVal)));
    case VT_DISPATCH: {
      if (!value.pdispVal) return ScriptValue::Null();
      if (auto* frame = dynamic_cast<IFrameWindowRef*>(value.pdispVal)) return ScriptValue::Frame(frame->frame_id());
      auto endpoint = std::make_shared<DispatchEndpoint>(value.pdispVal);
      return ScriptValue::Object(objects.Add(endpoint, value.pdispVal));
    }
    default: {
      VARIANT converted;
      VariantInit(&converted);
      if (SUCCEEDED(VariantChangeType(&converted, &value, 0, VT_BSTR))) {
        ScriptValue text = ScriptValue::WideString(WideString(BstrView(converted.bstrVal)));
        VariantClear(&converted);
        return text;
      }
      return ScriptValue();
    }
  }
}

DispatchEndpoint::DispatchEndpoint(IDispatch* object, std::vector<ScriptMember> members)
    : object_(object), members_(members.empty() ? MembersOf(object) : std::move(members)) {
  object_->AddRef();
}

DispatchEndpoint::~DispatchEndpoint() { object_->Release(); }

HRESULT DispatchEndpoint::Invoke(int32_t dispatch_id, ScriptMemberKind kind, std::span<const ScriptValue> arguments,
                                 ScriptObjectRegistry& objects, ScriptValue* result) {
  // The call's arguments go last first, as automation lays them out.
  std::vector<VARIANT> args(arguments.size());
  for (size_t i = 0; i < arguments.size(); ++i) ToVariant(arguments[i], objects, &args[arguments.size() - 1 - i]);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.data(), nullptr, UINT(args.size()), 0};
  WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  if (kind == ScriptMemberKind::kPropertyGet) flags = DISPATCH_PROPERTYGET;
  if (kind == ScriptMemberKind::kPropertyPut) {
    flags = DISPATCH_PROPERTYPUT;
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  VARIANT out;
  VariantInit(&out);
  UINT argument_error = 0;
  HRESULT hr = object_->Invoke(dispatch_id, IID_NULL, 0, flags, &params, &out, nullptr, &argument_error);
  if (result) *result = SUCCEEDED(hr) ? FromVariant(out, objects) : ScriptValue();
  VariantClear(&out);
  for (VARIANT& v : args) VariantClear(&v);
  return hr;
}

}  // namespace lectern
