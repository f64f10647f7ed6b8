#include "script/variant.h"

#include <gtest/gtest.h>

#include "script/dispatch_testing.h"

namespace lectern {
namespace {

using testing::Var;

// An object whose default value is 42, counting its references.
class ValueObject final : public IDispatch {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!(iid == IID_IUnknown) && !(iid == IID_IDispatch)) return E_NOINTERFACE;
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, OLECHAR**, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override {
    if (id != DISPID_VALUE || !has_value) return DISP_E_MEMBERNOTFOUND;
    result->vt = VT_I4;
    result->lVal = 42;
    return S_OK;
  }
  ULONG references = 1;
  bool has_value = true;
};

Var Change(const Var& from, VARTYPE vt, HRESULT* hr, USHORT flags = 0) {
  Var out;
  *hr = VariantChangeType(out.get(), &*from, flags, vt);
  return out;
}

TEST(VariantTest, ClearAndCopyOwnStringsAndReferences) {
  ValueObject object;
  {
    Var a = Var::Dispatch(&object);
    EXPECT_EQ(object.references, 2u);
    Var b = a;
    EXPECT_EQ(object.references, 3u);
  }
  EXPECT_EQ(object.references, 1u);

  Var s = Var::Str("text");
  Var copy;
  ASSERT_EQ(VariantCopy(copy.get(), &*s), S_OK);
  EXPECT_NE(copy->bstrVal, s->bstrVal);
  EXPECT_EQ(copy.text(), "text");
  EXPECT_EQ(VariantCopy(s.get(), &*s), S_OK);  // onto itself: unchanged
  EXPECT_EQ(s.text(), "text");

  VARIANT bad;
  VariantInit(&bad);
  bad.vt = 0x7F;
  EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(VariantCopy(copy.get(), &bad), DISP_E_BADVARTYPE);
  EXPECT_EQ(copy.text(), "text");
  EXPECT_EQ(VariantClear(nullptr), E_INVALIDARG);
}

TEST(VariantTest, CopyIndResolvesOneLevelOfReference) {
  int32_t number = 7;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &number;
  Var out;
  ASSERT_EQ(VariantCopyInd(out.get(), &ref), S_OK);
  EXPECT_EQ(out->vt, VT_I4);
  EXPECT_EQ(out->lVal, 7);

  BSTR text = AllocBstrFromUtf8("by ref");
  ref.vt = VT_BSTR | VT_BYREF;
  ref.pbstrVal = &text;
  ASSERT_EQ(VariantCopyInd(out.get(), &ref), S_OK);
  EXPECT_EQ(out.text(), "by ref");
  EXPECT_NE(out->bstrVal, text);
  SysFreeString(text);

  Var inner = Var::Bool(true);
  VARIANT vref;
  VariantInit(&vref);
  vref.vt = VT_VARIANT | VT_BYREF;
  vref.pvarVal = inner.get();
  ASSERT_EQ(VariantCopyInd(out.get(), &vref), S_OK);
  EXPECT_EQ(out->vt, VT_BOOL);
  // In place: the reference becomes the value.
  ASSERT_EQ(VariantCopyInd(&vref, &vref), S_OK);
  EXPECT_EQ(vref.vt, VT_BOOL);

  VARIANT nested;
  VariantInit(&nested);
  nested.vt = VT_VARIANT | VT_BYREF;
  nested.pvarVal = &ref;  // a reference to a reference
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &number;
  EXPECT_EQ(VariantCopyInd(out.get(), &nested), E_INVALIDARG);
  ref.plVal = nullptr;
  EXPECT_EQ(VariantCopyInd(out.get(), &ref), E_INVALIDARG);
}

TEST(VariantTest, ToI4) {
  HRESULT hr;
  EXPECT_EQ(Change(Var::Str(" 42 "), VT_I4, &hr)->lVal, 42);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(Change(Var::Str("-7"), VT_I4, &hr)->lVal, -7);
  EXPECT_EQ(Change(Var::Str("2.5"), VT_I4, &hr)->lVal, 2);  // halves go to even
  EXPECT_EQ(Change(Var::Str("3.5"), VT_I4, &hr)->lVal, 4);
  EXPECT_EQ(Change(Var::R8(-1.5), VT_I4, &hr)->lVal, -2);
  EXPECT_EQ(Change(Var::Bool(true), VT_I4, &hr)->lVal, -1);
  EXPECT_EQ(Change(Var(), VT_I4, &hr)->lVal, 0);
  EXPECT_EQ(hr, S_OK);
  for (const char* bad : {"", "abc", "0x10", "12abc", "inf", "nan"}) {
    Change(Var::Str(bad), VT_I4, &hr);
    EXPECT_EQ(hr, DISP_E_TYPEMISMATCH) << bad;
  }
  Change(Var::Null(), VT_I4, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
  Change(Var::R8(3e9), VT_I4, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  Change(Var::Str("99999999999"), VT_I4, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
  Change(Var::I4(40000), VT_I2, &hr);
  EXPECT_EQ(hr, DISP_E_OVERFLOW);
}

TEST(VariantTest, ToBstr) {
  HRESULT hr;
  EXPECT_EQ(Change(Var::I4(-12), VT_BSTR, &hr).text(), "-12");
  EXPECT_EQ(Change(Var::R8(1.5), VT_BSTR, &hr).text(), "1.5");
  EXPECT_EQ(Change(Var::Bool(true), VT_BSTR, &hr).text(), "-1");
  EXPECT_EQ(Change(Var::Bool(false), VT_BSTR, &hr).text(), "0");
  EXPECT_EQ(Change(Var::Bool(true), VT_BSTR, &hr, VARIANT_ALPHABOOL).text(), "True");
  Var empty = Change(Var(), VT_BSTR, &hr);
  EXPECT_EQ(empty.text(), "");
  EXPECT_NE(empty->bstrVal, nullptr);
  // As the system's conversion answers: null is no text (the dispatch table reads it as an absent one).
  Change(Var::Null(), VT_BSTR, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Change(Var::Str("\xC3\xA9t\xC3\xA9"), VT_BSTR, &hr).text(), "\xC3\xA9t\xC3\xA9");
}

TEST(VariantTest, ToBool) {
  HRESULT hr;
  EXPECT_EQ(Change(Var::Str("True"), VT_BOOL, &hr)->boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Var::Str("false"), VT_BOOL, &hr)->boolVal, VARIANT_FALSE);
  EXPECT_EQ(Change(Var::Str("0"), VT_BOOL, &hr)->boolVal, VARIANT_FALSE);
  EXPECT_EQ(Change(Var::Str("2"), VT_BOOL, &hr)->boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Var::I4(5), VT_BOOL, &hr)->boolVal, VARIANT_TRUE);
  EXPECT_EQ(Change(Var::R8(0.0), VT_BOOL, &hr)->boolVal, VARIANT_FALSE);
  EXPECT_EQ(Change(Var(), VT_BOOL, &hr)->boolVal, VARIANT_FALSE);
  Change(Var::Str("yes"), VT_BOOL, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
  Change(Var::Null(), VT_BOOL, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
}

TEST(VariantTest, ObjectsAndTheirDefaultValue) {
  ValueObject object;
  HRESULT hr;
  {
    Var d = Change(Var::Dispatch(&object), VT_DISPATCH, &hr);
    EXPECT_EQ(d->pdispVal, &object);
    EXPECT_EQ(object.references, 2u);
  }
  EXPECT_EQ(object.references, 1u);
  EXPECT_EQ(Change(Var::Dispatch(&object), VT_I4, &hr)->lVal, 42);
  EXPECT_EQ(Change(Var::Dispatch(&object), VT_BSTR, &hr).text(), "42");
  object.has_value = false;
  Change(Var::Dispatch(&object), VT_I4, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(object.references, 1u);
  EXPECT_EQ(Change(Var(), VT_DISPATCH, &hr)->pdispVal, nullptr);
  EXPECT_EQ(hr, S_OK);
  Change(Var::Null(), VT_DISPATCH, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
  Change(Var::I4(1), VT_DISPATCH, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
  Change(Var::Dispatch(nullptr), VT_I4, &hr);
  EXPECT_EQ(hr, DISP_E_TYPEMISMATCH);
}

TEST(VariantTest, ChangeTypeInPlaceAndFailuresLeaveTheTarget) {
  Var v = Var::Str("17");
  ASSERT_EQ(VariantChangeType(v.get(), &*v, 0, VT_I4), S_OK);
  EXPECT_EQ(v->vt, VT_I4);
  EXPECT_EQ(v->lVal, 17);
  Var target = Var::Str("kept");
  EXPECT_EQ(VariantChangeType(target.get(), &*Var::Str("x"), 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(target.text(), "kept");
  EXPECT_EQ(VariantChangeType(target.get(), &*v, 0, VT_VARIANT), DISP_E_BADVARTYPE);
  EXPECT_EQ(target.text(), "kept");
  int32_t number = 9;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &number;
  EXPECT_EQ(VariantChangeType(target.get(), &ref, 0, VT_BSTR), S_OK);
  EXPECT_EQ(target.text(), "9");
}

}  // namespace
}  // namespace lectern
