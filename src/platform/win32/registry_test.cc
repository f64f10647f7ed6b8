#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>

#include "common/run_tool.h"
#include "platform/user_folders.h"
#include "script/dispatch_testing.h"
#include "script/list_obj.h"
#include "script/reader.h"
#include "shell/ebk_registry.h"

namespace lectern {
namespace {

using testing::RunTool;

std::string HelperPath() {
  char path[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, n);
  return self.substr(0, self.find_last_of('\\') + 1) + REGISTRY_TEST_HELPER;
}

// The window position value as the registry holds it, or "<missing>".
std::string StoredWindowPosition() {
  RegistryKeyHolder key;
  if (RegistryOpenKey(HKEY_CURRENT_USER, kLecternKeyPath, KEY_READ, key.out()) != ERROR_SUCCESS) return "<missing>";
  char buffer[512];
  DWORD size = sizeof buffer, type = 0;
  if (RegistryQueryValue(key.get(), kWindowPositionValue, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return "<missing>";
  EXPECT_EQ(type, DWORD(REG_SZ));
  return std::string(buffer, size);
}

void StoreWindowPosition(const std::string& text) {
  RegistryKeyHolder key;
  ASSERT_EQ(RegistryCreateKey(HKEY_CURRENT_USER, kLecternKeyPath, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                              key.out(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegistrySetValue(key.get(), kWindowPositionValue, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             DWORD(text.size() + 1)),
            ERROR_SUCCESS);
}

class RealRegistryTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kListKey);
    RegistryKeyHolder key;
    if (RegistryOpenKey(HKEY_CURRENT_USER, kLecternKeyPath, KEY_READ | KEY_WRITE, key.out()) == ERROR_SUCCESS)
      RegistryDeleteValue(key.get(), kWindowPositionValue);
  }
  static constexpr char kListKey[] = "clsid\\{lectern-list-test}";
};

TEST_F(RealRegistryTest, WindowPositionOutlivesTheProcessThatWroteIt) {
  EbkRegistry writer;
  ASSERT_TRUE(writer.EnsureKey());
  WindowRect rect{-12, 34, 1200, 900};
  ASSERT_TRUE(writer.SaveWindowRect(&rect));
  EXPECT_EQ(StoredWindowPosition(), std::string("-12,34,1200,900\0", 16));
  auto read = RunTool(HelperPath(), {"load-window"});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, "-12,34,1200,900");

  // And the other way: another process writes, a fresh object here reads.
  ASSERT_EQ(RunTool(HelperPath(), {"save-window", "5", "6", "705", "506"}).status, 0);
  EbkRegistry reader;
  ASSERT_TRUE(reader.Initialise("{guid}"));
  EXPECT_EQ(reader.window_rect(), (WindowRect{5, 6, 705, 506}));
  EXPECT_FALSE(reader.SaveWindowRect(nullptr));
}

TEST_F(RealRegistryTest, StoredTextIsSplitAtSpacesAndCommasOrTakenAsDefault) {
  StoreWindowPosition("10 20,30 ,40");
  EbkRegistry mixed;
  mixed.Initialise("x");
  EXPECT_EQ(mixed.window_rect(), (WindowRect{10, 20, 30, 40}));

  StoreWindowPosition("1,2,3");
  EbkRegistry short_value;
  short_value.Initialise("x");
  EXPECT_EQ(short_value.window_rect(), short_value.DefaultWindowRect());
}

TEST_F(RealRegistryTest, WorkingFolderIsUnderTheTemporaryFolder) {
  EbkRegistry registry;
  registry.Initialise("{0A1B2C3D-0000-1111-2222-333344445555}");
  std::string folder;
  ASSERT_TRUE(registry.WorkingFolder(folder));
  EXPECT_EQ(folder, TemporaryFolder() + "\\Lectern\\{0A1B2C3D-0000-1111-2222-333344445555}");
  DWORD attributes = ::GetFileAttributesA(folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  ::RemoveDirectoryA(folder.c_str());
}

TEST_F(RealRegistryTest, ListFormIsStoredByteForByteAndReadByTheNextProcess) {
  ListItems items = {"ab", "c"};
  ASSERT_EQ(RunTool(HelperPath(), {"save-list", kListKey, "ab", "c"}).status, 0);

  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, kListKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  BYTE bytes[16];
  DWORD size = sizeof bytes, type = 0;
  ASSERT_EQ(::RegQueryValueExA(key, nullptr, nullptr, &type, bytes, &size), ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_EQ(type, DWORD(REG_BINARY));
  const BYTE expected[] = {'a' ^ 0xA7, 'b' ^ 0xA7, 0x01 ^ 0xA7, 'c' ^ 0xA7, 0x01 ^ 0xA7, 0x00};
  ASSERT_EQ(size, sizeof expected);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), size), std::string(reinterpret_cast<const char*>(expected), size));

  CListObj* list = CListObj::Create();
  EXPECT_TRUE(list->LoadFromKey(kListKey));
  EXPECT_EQ(list->items(), items);
  // An empty list writes nothing: the stored one stays for the next run.
  CListObj* empty = CListObj::Create();
  EXPECT_FALSE(empty->SaveToKey(kListKey));
  auto read = RunTool(HelperPath(), {"load-list", kListKey});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, "ab|c|");
  empty->Release();
  list->Release();
}

// The list as page script reaches it: made by the reader, every call through the system's automation.
TEST_F(RealRegistryTest, AListMadeByTheReaderIsSavedThroughAutomation) {
  using testing::CallByName;
  using testing::Var;
  CReader* reader = CReader::Create(nullptr);
  auto made = CallByName(reader, OLESTR("createObject"), {Var::Str("vellum.std.list")});
  ASSERT_EQ(made.value->vt, VT_DISPATCH);
  IDispatch* list = made.value->pdispVal;
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(CallByName(list, OLESTR("push_back"), {Var::Str("\xC3\xA9t\xC3\xA9")}).value->lVal, 1);
  EXPECT_EQ(CallByName(list, OLESTR("push_front"), {Var::Str("first")}).value->lVal, 2);
  EXPECT_EQ(CallByName(list, OLESTR("item"), {Var::I4(1)}).value.text(), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(CallByName(list, OLESTR("saveToRegistry"), {Var::Str(kListKey)}).value->lVal, 1);
  EXPECT_EQ(CallByName(list, OLESTR("item"), {Var::Str("one")}).hr, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CallByName(list, OLESTR("saveToRegistry"), {}).hr, DISP_E_BADPARAMCOUNT);
  reader->Release();

  auto read = RunTool(HelperPath(), {"load-list", kListKey});
  EXPECT_EQ(read.status, 0);
  EXPECT_EQ(read.out, "first|\xC3\xA9t\xC3\xA9|");
}

TEST_F(RealRegistryTest, AValueOfAnotherTypeLeavesTheListAndTheValueAlone) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, kListKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                              nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("text"), 5), ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_NE(RunTool(HelperPath(), {"load-list", kListKey}).status, 0);
  EXPECT_NE(RunTool(HelperPath(), {"save-list", kListKey, "x"}).status, 0);
  EXPECT_NE(RunTool(HelperPath(), {"load-list", "clsid\\{no-such-key-here}"}).status, 0);
  HKEY missing = nullptr;
  EXPECT_EQ(::RegOpenKeyExA(HKEY_CLASSES_ROOT, "clsid\\{no-such-key-here}", 0, KEY_READ, &missing),
            ERROR_FILE_NOT_FOUND) << "loading never makes the key";
}

TEST(RealRegistryFunctionsTest, MissingKeysAndSmallBuffersAnswerTheSystemsCodes) {
  HKEY key = nullptr;
  EXPECT_EQ(RegistryOpenKey(HKEY_CURRENT_USER, "Software\\Lectern Test\\Missing", KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(RegistryCreateKey(HKEY_CURRENT_USER, "Software\\Lectern Test", REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegistrySetValue(key, "v", REG_BINARY, reinterpret_cast<const BYTE*>("12345"), 5), ERROR_SUCCESS);
  BYTE small[2];
  DWORD size = sizeof small;
  EXPECT_EQ(RegistryQueryValue(key, "v", nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(RegistryQueryValue(key, "v", nullptr, small, nullptr), ERROR_INVALID_PARAMETER);
  HKEY child = nullptr;
  ASSERT_EQ(RegistryCreateKey(key, "child", REG_OPTION_NON_VOLATILE, KEY_READ, &child, nullptr), ERROR_SUCCESS);
  RegistryCloseKey(child);
  EXPECT_NE(RegistryDeleteKey(HKEY_CURRENT_USER, "Software\\Lectern Test"), ERROR_SUCCESS) << "it has a subkey";
  EXPECT_EQ(RegistryDeleteKey(key, "child"), ERROR_SUCCESS);
  RegistryCloseKey(key);
  EXPECT_EQ(RegistryDeleteKey(HKEY_CURRENT_USER, "Software\\Lectern Test"), ERROR_SUCCESS);
}

}  // namespace
}  // namespace lectern
