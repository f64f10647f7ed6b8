#include "script/dispatch_table.h"

#include <gtest/gtest.h>

#include "script/dispatch_testing.h"

namespace lectern {
namespace {

using testing::Call;
using testing::CallResult;
using testing::Var;

int g_alive = 0;

class Sample final : public TableDispatch {
 public:
  static Sample* Create() { return new Sample(); }

  HRESULT Subtract(VARIANT* args, VARIANT* result) {
    SetI4Result(result, args[0].lVal - args[1].lVal);
    return S_OK;
  }
  HRESULT GetName(VARIANT*, VARIANT* result) {
    SetBstrResult(result, name);
    return S_OK;
  }
  HRESULT PutName(VARIANT* args, VARIANT*) {
    name = WideToUtf8(BstrView(args[0].bstrVal));
    return S_OK;
  }
  HRESULT Fails(VARIANT*, VARIANT*) { return E_FAIL; }
  HRESULT Flag(VARIANT* args, VARIANT* result) {
    SetBoolResult(result, args[0].boolVal != VARIANT_FALSE);
    return S_OK;
  }

  std::string name = "initial";

 private:
  Sample();
  ~Sample() override { --g_alive; }
};

const MemberRow kSampleMembers[] = {
    {OLESTR("subtract"), 0x10, MemberKind::kMethod, VT_I4, 2, {VT_I4, VT_I4}, &MemberThunk<Sample, &Sample::Subtract>},
    {OLESTR("name"), 0x20, MemberKind::kPropertyGet, VT_BSTR, 0, {}, &MemberThunk<Sample, &Sample::GetName>},
    {OLESTR("name"), 0, MemberKind::kPropertyPut, VT_EMPTY, 1, {VT_BSTR}, &MemberThunk<Sample, &Sample::PutName>},
    {OLESTR("fails"), 0x30, MemberKind::kMethod, VT_EMPTY, 0, {}, &MemberThunk<Sample, &Sample::Fails>},
    {OLESTR("flag"), 0x40, MemberKind::kMethod, VT_BOOL, 1, {VT_BOOL}, &MemberThunk<Sample, &Sample::Flag>},
    {OLESTR("subtract"), 0x50, MemberKind::kMethod, VT_I4, 0, {}, &MemberThunk<Sample, &Sample::Fails>},  // a shadowed name
    {nullptr, 0, MemberKind::kMethod, VT_EMPTY, 0, {}, nullptr},
};

DispatchTypeInfo& SampleInfo() {
  static DispatchTypeInfo info(kSampleMembers);
  return info;
}

Sample::Sample() : TableDispatch(SampleInfo()) { ++g_alive; }

class DispatchTableTest : public ::testing::Test {
 protected:
  ~DispatchTableTest() override { object_->Release(); }
  Sample* object_ = Sample::Create();
};

TEST_F(DispatchTableTest, NamesFromTheCacheThenIgnoringCase) {
  OLECHAR* exact[] = {const_cast<OLECHAR*>(OLESTR("name")), const_cast<OLECHAR*>(OLESTR("subtract"))};
  DISPID ids[2] = {};
  ASSERT_EQ(object_->GetIDsOfNames(IID_NULL, exact, 2, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 0x20);
  EXPECT_EQ(ids[1], 0x10);  // the first row of a name
  OLECHAR* upper[] = {const_cast<OLECHAR*>(OLESTR("SUBTRACT"))};
  ASSERT_EQ(object_->GetIDsOfNames(IID_NULL, upper, 1, 0, ids), S_OK);
  EXPECT_EQ(ids[0], 0x10);
  OLECHAR* unknown[] = {const_cast<OLECHAR*>(OLESTR("nothing"))};
  EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  // A parameter name after the member: the members name no parameters.
  OLECHAR* with_param[] = {const_cast<OLECHAR*>(OLESTR("Subtract")), const_cast<OLECHAR*>(OLESTR("a"))};
  EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, with_param, 2, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 0x10);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, nullptr, 1, 0, ids), E_INVALIDARG);
}

TEST_F(DispatchTableTest, ArgumentsArriveLastFirstAndAreConverted) {
  CallResult r = Call(object_, 0x10, DISPATCH_METHOD, {Var::I4(10), Var::Str("3")});
  ASSERT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.value->vt, VT_I4);
  EXPECT_EQ(r.value->lVal, 7);
  // By-reference arguments are resolved.
  decltype(VARIANT{}.lVal) by_ref = 4;
  VARIANT ref;
  VariantInit(&ref);
  ref.vt = VT_I4 | VT_BYREF;
  ref.plVal = &by_ref;
  VARIANT reversed[2] = {ref, *Var::I4(0)};
  DISPPARAMS params{reversed, nullptr, 2, 0};
  Var value;
  ASSERT_EQ(object_->Invoke(0x10, IID_NULL, 0, DISPATCH_METHOD, &params, value.get(), nullptr, nullptr), S_OK);
  EXPECT_EQ(value->lVal, -4);
  // No result variant wanted.
  ASSERT_EQ(object_->Invoke(0x10, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(DispatchTableTest, ErrorPaths) {
  EXPECT_EQ(Call(object_, 0x99, DISPATCH_METHOD, {}).hr, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(object_, 0x10, DISPATCH_METHOD, {Var::I4(1)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(object_, 0x10, DISPATCH_METHOD, {Var::I4(1), Var::I4(2), Var::I4(3)}).hr, DISP_E_BADPARAMCOUNT);
  CallResult mismatch = Call(object_, 0x10, DISPATCH_METHOD, {Var::I4(1), Var::Str("two")});
  EXPECT_EQ(mismatch.hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(mismatch.argument_error, 0u);  // the last argument travels first
  EXPECT_EQ(Call(object_, 0x10, DISPATCH_METHOD, {Var::Null(), Var::I4(1)}).argument_error, 1u);
  // Named arguments only for a property put.
  EXPECT_EQ(Call(object_, 0x10, DISPATCH_METHOD, {Var::I4(1), Var::I4(2)}, true).hr, DISP_E_NONAMEDARGS);
  EXPECT_EQ(object_->Invoke(0x10, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
  DISPPARAMS missing{nullptr, nullptr, 2, 0};
  EXPECT_EQ(object_->Invoke(0x10, IID_NULL, 0, DISPATCH_METHOD, &missing, nullptr, nullptr, nullptr), E_INVALIDARG);
  // The member's own failure comes back as it is.
  EXPECT_EQ(Call(object_, 0x30, DISPATCH_METHOD, {}).hr, E_FAIL);
}

TEST_F(DispatchTableTest, PutRowsAndKindsOfCall) {
  EXPECT_EQ(Call(object_, 0x20, DISPATCH_PROPERTYGET, {}).value.text(), "initial");
  EXPECT_EQ(Call(object_, 0x20, DISPATCH_PROPERTYPUT, {Var::Str("changed")}, true).hr, S_OK);
  EXPECT_EQ(object_->name, "changed");
  EXPECT_EQ(Call(object_, 0x20, DISPATCH_PROPERTYPUT, {Var::I4(5)}).hr, S_OK);  // converted to a string
  EXPECT_EQ(object_->name, "5");
  // A property read as a method, a method read as a property.
  EXPECT_EQ(Call(object_, 0x20, DISPATCH_METHOD, {}).value.text(), "5");
  EXPECT_EQ(Call(object_, 0x40, DISPATCH_PROPERTYGET, {Var::Str("true")}).value->boolVal, VARIANT_TRUE);
  // A put on a row without a put row after it runs that row, with the wrong count.
  EXPECT_EQ(Call(object_, 0x30, DISPATCH_PROPERTYPUT, {Var::I4(1)}, true).hr, DISP_E_BADPARAMCOUNT);
  // A get with the put row's arguments finds the get row.
  EXPECT_EQ(Call(object_, 0x20, DISPATCH_PROPERTYGET, {Var::Str("x")}).hr, DISP_E_BADPARAMCOUNT);
}

TEST_F(DispatchTableTest, TypeInformationAndInterfaces) {
  UINT count = 0;
  EXPECT_EQ(object_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(object_->GetTypeInfoCount(nullptr), E_POINTER);
  EXPECT_EQ(object_->GetTypeInfo(0, 0, nullptr), E_POINTER);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(object_->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  ASSERT_EQ(object_->GetTypeInfo(0, 0, &info), S_OK);
  OLECHAR* names[] = {const_cast<OLECHAR*>(OLESTR("Name"))};
  MEMBERID id = 0;
  EXPECT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK);
  EXPECT_EQ(id, 0x20);
  info->Release();
  ASSERT_EQ(SampleInfo().methods().size(), 6u);
  EXPECT_EQ(SampleInfo().methods()[2].id, 0x20);  // the put row takes the id before it
  EXPECT_EQ(SampleInfo().methods()[2].index, 2u);

  void* out = nullptr;
  ASSERT_EQ(object_->QueryInterface(IID_IObjectSafety, &out), S_OK);
  auto* safety = static_cast<IObjectSafety*>(out);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(supported, INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA);
  EXPECT_EQ(enabled, supported);
  safety->Release();
  EXPECT_EQ(object_->QueryInterface(IID_ITypeInfo, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
}

TEST(DispatchLifetimeTest, LastReleaseFreesTheObject) {
  int before = g_alive;
  Sample* object = Sample::Create();
  EXPECT_EQ(g_alive, before + 1);
  object->AddRef();
  EXPECT_EQ(object->Release(), 1u);
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(g_alive, before);
}

// A table whose first row is a put row cannot be made into type information.
class Broken final : public TableDispatch {
 public:
  Broken();
  HRESULT Nothing(VARIANT*, VARIANT*) { return S_OK; }
};
const MemberRow kBrokenMembers[] = {
    {OLESTR("x"), 1, MemberKind::kPropertyPut, VT_EMPTY, 1, {VT_I4}, &MemberThunk<Broken, &Broken::Nothing>},
    {nullptr, 0, MemberKind::kMethod, VT_EMPTY, 0, {}, nullptr},
};
DispatchTypeInfo& BrokenInfo() {
  static DispatchTypeInfo info(kBrokenMembers);
  return info;
}
Broken::Broken() : TableDispatch(BrokenInfo()) {}

TEST(DispatchBuildTest, BuildFailureIsEveryCallsAnswer) {
  auto* broken = new Broken();
  EXPECT_EQ(Call(broken, 1, DISPATCH_PROPERTYPUT, {Var::I4(1)}, true).hr, E_INVALIDARG);
  OLECHAR* names[] = {const_cast<OLECHAR*>(OLESTR("x"))};
  DISPID id;
  EXPECT_EQ(broken->GetIDsOfNames(IID_NULL, names, 1, 0, &id), E_INVALIDARG);
  ITypeInfo* info = nullptr;
  EXPECT_EQ(broken->GetTypeInfo(0, 0, &info), E_INVALIDARG);
  broken->Release();
}

}  // namespace
}  // namespace lectern
