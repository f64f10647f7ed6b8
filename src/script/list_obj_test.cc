#include "script/list_obj.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"
#include "script/dispatch_testing.h"
#include "script/reader.h"
#include "tests/support/error_code_text.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::Call;
using testing::CallByName;
using testing::ErrorCodeText;
using testing::TempDir;
using testing::Var;

constexpr char kKey[] = "clsid\\{a9993e36-4706-816a-ba3e-25717850c26c}\\notes";

std::vector<std::string> Items(const CListObj* list) { return {list->items().begin(), list->items().end()}; }

// The masked bytes of a body piece, as the stored form holds them.
std::string Masked(std::string_view text) {
  std::string out;
  for (char c : text) out.push_back(char(uint8_t(c) ^ 0xA7));
  return out;
}

class ListObjTest : public ::testing::Test {
 protected:
  void SetUp() override { UseRegistryStore({db_, 500}); }
  void TearDown() override {
    list_->Release();
    UseRegistryStore({""});
  }

  int32_t Push(const OLECHAR* member, Var text) { return CallByName(list_, member, {std::move(text)}).value->lVal; }
  int32_t Save(const char* key) { return CallByName(list_, OLESTR("saveToRegistry"), {Var::Str(key)}).value->lVal; }
  int32_t Load(const char* key) { return CallByName(list_, OLESTR("loadFromRegistry"), {Var::Str(key)}).value->lVal; }
  std::string ItemAt(int32_t index) { return CallByName(list_, OLESTR("item"), {Var::I4(index)}).value.text(); }
  int32_t Length() { return CallByName(list_, OLESTR("length"), {}, DISPATCH_PROPERTYGET).value->lVal; }

  // The raw default value of `key` under HKEY_CLASSES_ROOT, or "<code>".
  std::string Raw(const char* key, DWORD* type = nullptr) {
    RegistryKeyHolder holder;
    if (LONG rc = RegistryOpenKey(HKEY_CLASSES_ROOT, key, KEY_READ, holder.out())) return ErrorCodeText(rc);
    DWORD size = 0;
    if (LONG rc = RegistryQueryValue(holder.get(), nullptr, type, nullptr, &size)) return ErrorCodeText(rc);
    std::string bytes(size, '\0');
    if (LONG rc = RegistryQueryValue(holder.get(), nullptr, type, reinterpret_cast<BYTE*>(bytes.data()), &size))
      return ErrorCodeText(rc);
    return bytes;
  }
  void Store(const char* key, DWORD type, std::string_view bytes) {
    RegistryKeyHolder holder;
    ASSERT_EQ(RegistryCreateKey(HKEY_CLASSES_ROOT, key, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, holder.out(),
                                nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegistrySetValue(holder.get(), nullptr, type, reinterpret_cast<const BYTE*>(bytes.data()),
                               DWORD(bytes.size())),
              ERROR_SUCCESS);
  }
  void Fill(std::vector<std::string> texts) {
    for (auto& t : texts) Push(OLESTR("push_back"), Var::Str(t));
  }

  TempDir dir_;
  std::string db_ = dir_.Join("config/registry.db");
  CListObj* list_ = CListObj::Create();
};

TEST_F(ListObjTest, PushReadAndLength) {
  EXPECT_EQ(Length(), 0);
  EXPECT_EQ(Push(OLESTR("push_front"), Var::Str("first")), 1);
  EXPECT_EQ(Push(OLESTR("push_front"), Var::Str("second")), 2);
  EXPECT_EQ(Push(OLESTR("push_back"), Var::Str("third \xC3\xA9\xE2\x82\xAC")), 3);
  EXPECT_EQ(Items(list_), (std::vector<std::string>{"second", "first", "third \xC3\xA9\xE2\x82\xAC"}));
  EXPECT_EQ(Length(), 3);
  EXPECT_EQ(ItemAt(0), "second");
  EXPECT_EQ(ItemAt(2), "third \xC3\xA9\xE2\x82\xAC");
  // Outside the list: an empty string, not an error.
  for (int32_t index : {-1, 3, 1 << 30, INT32_MIN}) {
    auto r = CallByName(list_, OLESTR("item"), {Var::I4(index)});
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.value.text(), "");
  }
  // Empty and absent texts are not added; the length still comes back.
  EXPECT_EQ(Push(OLESTR("push_back"), Var::Str("")), 3);
  EXPECT_EQ(Push(OLESTR("push_front"), Var::Null()), 3);
  EXPECT_EQ(Push(OLESTR("push_back"), Var()), 3);  // VT_EMPTY reads as the empty string
  // Other types convert to text as script expects.
  EXPECT_EQ(Push(OLESTR("push_back"), Var::I4(42)), 4);
  EXPECT_EQ(ItemAt(3), "42");
  EXPECT_EQ(CallByName(list_, OLESTR("item"), {Var::Str("1")}).value.text(), "first");
  // length may be called as a method too.
  EXPECT_EQ(CallByName(list_, OLESTR("length")).value->lVal, 4);
}

TEST_F(ListObjTest, InvokeErrors) {
  EXPECT_EQ(CallByName(list_, OLESTR("item")).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(list_, OLESTR("item"), {Var::I4(0), Var::I4(1)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(list_, OLESTR("push_back")).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(list_, OLESTR("saveToRegistry")).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(list_, OLESTR("loadFromRegistry"), {Var::Str("a"), Var::Str("b")}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(list_, OLESTR("length"), {Var::I4(1)}, DISPATCH_PROPERTYGET).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(list_, OLESTR("item"), {Var::Str("not a number")}).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CallByName(list_, OLESTR("item"), {Var::Null()}).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CallByName(list_, OLESTR("item"), {Var::R8(1e12)}).hr, DISP_E_TYPEMISMATCH);  // overflow
  EXPECT_EQ(Call(list_, 0xB0009, DISPATCH_METHOD, {}).hr, DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(list_, 0xB0002, DISPATCH_METHOD, {Var::Str("x")}, /*named_put=*/true).hr, DISP_E_NONAMEDARGS);
  EXPECT_TRUE(list_->items().empty());

  // Names: the exact spelling from the cache, any other letter case through the type information.
  EXPECT_EQ(testing::IdOf(list_, OLESTR("push_front")), 0xB0003);
  EXPECT_EQ(testing::IdOf(list_, OLESTR("LoadFromRegistry")), 0xB0005);
  EXPECT_EQ(testing::IdOf(list_, OLESTR("LENGTH")), 0xF0001);
  EXPECT_EQ(testing::IdOf(list_, OLESTR("pop_back")), DISPID_UNKNOWN);

  IObjectSafety* safety = nullptr;
  ASSERT_EQ(list_->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)), S_OK);
  DWORD supported = 0, enabled = 0;
  EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
  EXPECT_EQ(enabled, INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA);
  safety->Release();
}

TEST_F(ListObjTest, RegistryFormByteForByte) {
  Fill({"ab", "c\xC3\xA9"});
  EXPECT_EQ(Save(kKey), 1);
  DWORD type = REG_NONE;
  const std::string expected = std::string("\xC6\xC5\xA6", 3) + std::string("\xC4\x64\x0E\xA6", 4) + std::string(1, '\0');
  EXPECT_EQ(Raw(kKey, &type), expected);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(EncodeListRegistryForm(list_->items()), expected);

  // A byte equal to the mask is stored as 0; a NUL byte as the mask; neither ends the list.
  CListObj* other = CListObj::Create();
  CallByName(other, OLESTR("push_back"), {Var::Str(std::string("x\0y", 3))});
  EXPECT_EQ(other->SaveToKey("other"), true);
  EXPECT_EQ(Raw("other"), Masked(std::string("x\0y\x01", 4)) + std::string(1, '\0'));
  ListItems read;
  ASSERT_TRUE(DecodeListRegistryForm(Raw("other"), &read));
  EXPECT_EQ(read.front(), std::string("x\0y", 3));
  other->Release();
}

TEST_F(ListObjTest, SaveAndLoadRoundTrip) {
  Fill({"one", "two \xE2\x82\xAC", "three"});
  EXPECT_EQ(Save(kKey), 1);
  CListObj* again = CListObj::Create();
  CallByName(again, OLESTR("push_back"), {Var::Str("replaced")});
  EXPECT_EQ(CallByName(again, OLESTR("loadFromRegistry"), {Var::Str(kKey)}).value->lVal, 1);
  EXPECT_EQ(Items(again), Items(list_));
  // Keys are found in any letter case.
  EXPECT_EQ(CallByName(again, OLESTR("loadFromRegistry"), {Var::Str("CLSID\\{A9993E36-4706-816A-BA3E-25717850C26C}\\NOTES")})
                .value->lVal,
            1);
  EXPECT_EQ(Items(again), Items(list_));
  again->Release();

  // Items holding the item end come back split at it; empty pieces vanish.
  CListObj* split = CListObj::Create();
  CallByName(split, OLESTR("push_back"), {Var::Str("a\x01\x01" "b\x01")});
  CallByName(split, OLESTR("push_back"), {Var::Str("\x01")});
  CallByName(split, OLESTR("push_back"), {Var::Str("c")});
  EXPECT_TRUE(split->SaveToKey("split"));
  EXPECT_TRUE(split->LoadFromKey("split"));
  EXPECT_EQ(Items(split), (std::vector<std::string>{"a", "b", "c"}));
  split->Release();
}

TEST_F(ListObjTest, SavedListsOutliveTheStoreObject) {
  Fill({"kept", "between", "runs"});
  ASSERT_EQ(Save(kKey), 1);
  UseRegistryStore({db_, 500});  // as a new process would open it
  CListObj* fresh = CListObj::Create();
  EXPECT_TRUE(fresh->LoadFromKey(kKey));
  EXPECT_EQ(Items(fresh), (std::vector<std::string>{"kept", "between", "runs"}));
  fresh->Release();
}

TEST_F(ListObjTest, WhatLeavesTheStoredValueAlone) {
  Fill({"stored"});
  ASSERT_EQ(Save(kKey), 1);
  const std::string stored = Raw(kKey);

  // An empty list writes nothing.
  CListObj* empty = CListObj::Create();
  EXPECT_EQ(CallByName(empty, OLESTR("saveToRegistry"), {Var::Str(kKey)}).value->lVal, 0);
  EXPECT_EQ(Raw(kKey), stored);
  empty->Release();

  // Absent, empty and NUL-carrying keys do nothing.
  EXPECT_EQ(CallByName(list_, OLESTR("saveToRegistry"), {Var::Null()}).value->lVal, 0);
  EXPECT_EQ(Save(""), 0);
  EXPECT_EQ(CallByName(list_, OLESTR("saveToRegistry"), {Var::Str(std::string("clsid\0x", 7))}).value->lVal, 0);
  EXPECT_EQ(Raw("clsid"), "<2>");
  // A key the registry refuses (an empty level) is a silent failure.
  EXPECT_EQ(Save("a\\\\b"), 0);

  // The default value of something else is never replaced by a list.
  Store("txtfile\\shell\\open\\command", REG_SZ, std::string("editor %1\0", 10));
  EXPECT_EQ(Save("txtfile\\shell\\open\\command"), 0);
  DWORD type = REG_NONE;
  EXPECT_EQ(Raw("txtfile\\shell\\open\\command", &type), std::string("editor %1\0", 10));
  EXPECT_EQ(type, REG_SZ);

  // A list whose form would be over the limit writes nothing either.
  CListObj* big = CListObj::Create();
  const std::string chunk(64 * 1024, 'x');
  for (int i = 0; i < 16; ++i) CallByName(big, OLESTR("push_back"), {Var::Str(chunk)});
  EXPECT_FALSE(big->SaveToKey(kKey));
  bool too_large = false;
  EXPECT_EQ(EncodeListRegistryForm(big->items(), &too_large), "");
  EXPECT_TRUE(too_large);
  EXPECT_EQ(Raw(kKey), stored);
  big->Release();
}

TEST_F(ListObjTest, LoadingNothingLeavesTheList) {
  Fill({"mine"});
  // A missing key is not made.
  EXPECT_EQ(Load("clsid\\{missing}"), 0);
  EXPECT_EQ(Raw("clsid\\{missing}"), "<2>");
  // A key without a value.
  Store("novalue\\child", REG_BINARY, "x");
  EXPECT_EQ(Load("novalue"), 0);
  EXPECT_EQ(CallByName(list_, OLESTR("loadFromRegistry"), {Var::Null()}).value->lVal, 0);
  EXPECT_EQ(Load(""), 0);
  // Values of other types, empty values, values without their end byte, oversized values and
  // values with more items than a list may hold.
  const std::vector<std::pair<DWORD, std::string>> refused = {
      {REG_SZ, Masked("abc\x01") + std::string(1, '\0')},
      {REG_DWORD, std::string("\xC6\xA6\x00\x00", 4)},
      {REG_NONE, Masked("abc\x01") + std::string(1, '\0')},
      {REG_BINARY, ""},
      {REG_BINARY, Masked("abc\x01")},
      {REG_BINARY, Masked("abc\x01") + "\x01"},
      {REG_BINARY, std::string(kMaxListFormSize, '\xC6') + std::string(1, '\0')},
      {REG_BINARY, [] {
         std::string many;
         for (size_t i = 0; i <= kMaxListItems; ++i) many += Masked("z\x01");
         return many + std::string(1, '\0');
       }()},
  };
  for (const auto& [type, bytes] : refused) {
    Store("hostile", type, bytes);
    EXPECT_EQ(Load("hostile"), 0) << "type " << type << ", " << bytes.size() << " bytes";
    EXPECT_EQ(Items(list_), (std::vector<std::string>{"mine"}));
  }

  // Under the store's limits is still a list.
  std::string most;
  for (size_t i = 0; i < kMaxListItems; ++i) most += Masked("z\x01");
  Store("hostile", REG_BINARY, most + std::string(1, '\0'));
  EXPECT_EQ(Load("hostile"), 1);
  EXPECT_EQ(Length(), int32_t(kMaxListItems));

  // The end byte alone, or only item ends, is an empty list: the list is emptied.
  Store("empty", REG_BINARY, std::string(1, '\0'));
  EXPECT_EQ(Load("empty"), 1);
  EXPECT_EQ(Length(), 0);
  Fill({"again"});
  Store("empty", REG_BINARY, Masked("\x01\x01\x01") + std::string(1, '\0'));
  EXPECT_EQ(Load("empty"), 1);
  EXPECT_EQ(Length(), 0);

  // A last piece without its item end is still an item; bytes that are not UTF-8 read as U+FFFD.
  Store("loose", REG_BINARY, Masked("a\x01\xFF" "b") + std::string(1, '\0'));
  EXPECT_EQ(Load("loose"), 1);
  EXPECT_EQ(Length(), 2);
  EXPECT_EQ(ItemAt(1), "\xEF\xBF\xBD" "b");
}

TEST_F(ListObjTest, UnusableStoreIsSilent) {
  Fill({"mine"});
  dir_.Write("blocked", "a file where the store's folder would be");
  UseRegistryStore({dir_.Join("blocked/registry.db"), 100});
  EXPECT_EQ(Save(kKey), 0);
  EXPECT_EQ(Load(kKey), 0);
  EXPECT_EQ(Items(list_), (std::vector<std::string>{"mine"}));
}

TEST_F(ListObjTest, ReaderMakesListsByName) {
  CReader* reader = CReader::Create(nullptr);
  auto made = CallByName(reader, OLESTR("createObject"), {Var::Str("vellum.std.list")});
  ASSERT_EQ(made.value->vt, VT_DISPATCH);
  IDispatch* list = made.value->pdispVal;
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(CallByName(list, OLESTR("push_back"), {Var::Str("via the reader")}).value->lVal, 1);
  auto second = CallByName(reader, OLESTR("createObject"), {Var::Str("vellum.std.list")});
  ASSERT_NE(second.value->pdispVal, nullptr);
  EXPECT_EQ(CallByName(second.value->pdispVal, OLESTR("length"), {}, DISPATCH_PROPERTYGET).value->lVal, 0);  // a separate list
  EXPECT_EQ(CallByName(reader, OLESTR("createObject"), {Var::Str("Vellum.Std.List")}).value->pdispVal, nullptr);
  reader->Release();
}

TEST(ListRegistryFormTest, EncodeAndDecode) {
  EXPECT_EQ(EncodeListRegistryForm({}), "");
  ListItems items = {"keep"};
  EXPECT_FALSE(DecodeListRegistryForm("", &items));
  EXPECT_FALSE(DecodeListRegistryForm(std::string_view("\x01", 1), &items));
  EXPECT_EQ(items, ListItems{"keep"});
  ListItems decoded;
  ASSERT_TRUE(DecodeListRegistryForm(EncodeListRegistryForm({"a", "bc", "d"}), &decoded));
  EXPECT_EQ(decoded, (ListItems{"a", "bc", "d"}));
  // At the size limit exactly: still written and read.
  ListItems largest = {std::string(kMaxListFormSize - 2, 'q')};
  const std::string form = EncodeListRegistryForm(largest);
  ASSERT_EQ(form.size(), kMaxListFormSize);
  ASSERT_TRUE(DecodeListRegistryForm(form, &decoded));
  EXPECT_EQ(decoded, largest);
  largest.front().push_back('q');
  EXPECT_EQ(EncodeListRegistryForm(largest), "");
  // A form at the limit whose last item lacks its item end would need one byte more to be
  // written again: it is refused like any other list over the limit.
  std::string unended = Masked(std::string(kMaxListFormSize - 1, 'q')) + std::string(1, '\0');
  ASSERT_EQ(unended.size(), kMaxListFormSize);
  EXPECT_FALSE(DecodeListRegistryForm(unended, &decoded));
  unended.erase(0, 1);
  ASSERT_TRUE(DecodeListRegistryForm(unended, &decoded));
  EXPECT_EQ(EncodeListRegistryForm(decoded).size(), kMaxListFormSize);
}

}  // namespace
}  // namespace lectern
