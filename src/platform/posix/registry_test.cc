#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/posix/registry_store.h"
#include "tests/support/error_code_text.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ErrorCodeText;
using testing::TempDir;

static_assert((KEY_READ | KEY_WRITE) == 0x2001F);

const BYTE* Bytes(const char* text) { return reinterpret_cast<const BYTE*>(text); }

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { UseRegistryStore({dir_.Join("config/registry.db")}); }
  void TearDown() override { UseRegistryStore({""}); }

  HKEY Create(HKEY parent, const char* path, REGSAM access = KEY_READ | KEY_WRITE, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegistryCreateKey(parent, path, REG_OPTION_NON_VOLATILE, access, &key, disposition), ERROR_SUCCESS);
    return key;
  }
  LONG Open(HKEY parent, const char* path, HKEY* key, REGSAM access = KEY_READ | KEY_WRITE) {
    return RegistryOpenKey(parent, path, access, key);
  }
  void SetString(HKEY key, const char* name, const char* text) {
    ASSERT_EQ(RegistrySetValue(key, name, REG_SZ, Bytes(text), DWORD(strlen(text) + 1)), ERROR_SUCCESS);
  }
  // The value's bytes and type, or "<code>" when the query fails.
  std::string Read(HKEY key, const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    if (LONG rc = RegistryQueryValue(key, name, type, nullptr, &size)) return ErrorCodeText(rc);
    std::string bytes(size, '\x7f');
    if (LONG rc = RegistryQueryValue(key, name, type, reinterpret_cast<BYTE*>(bytes.data()), &size))
      return ErrorCodeText(rc);
    bytes.resize(size);
    return bytes;
  }

  TempDir dir_;
};

TEST_F(RegistryTest, KeysAreMadeOnDemandAndFoundInAnyLetterCase) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Vellum Software\\Lectern", KEY_READ | KEY_WRITE, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  EXPECT_EQ(RegistryCloseKey(key), ERROR_SUCCESS);

  key = Create(HKEY_CURRENT_USER, "SOFTWARE\\vellum software\\LECTERN", KEY_READ | KEY_WRITE, &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  SetString(key, "probe", "x");
  RegistryCloseKey(key);

  HKEY opened = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\Vellum SOFTWARE", &opened), ERROR_SUCCESS);
  HKEY child = nullptr;
  ASSERT_EQ(Open(opened, "lectern", &child), ERROR_SUCCESS);
  EXPECT_EQ(Read(child, "PROBE"), std::string("x\0", 2));
  // The empty subkey is the key itself.
  HKEY same = nullptr;
  ASSERT_EQ(Open(child, "", &same), ERROR_SUCCESS);
  EXPECT_EQ(Read(same, "probe"), std::string("x\0", 2));
  for (HKEY k : {opened, child, same}) EXPECT_EQ(RegistryCloseKey(k), ERROR_SUCCESS);
}

TEST_F(RegistryTest, OpeningNeverMakesAKey) {
  HKEY key = reinterpret_cast<HKEY>(uintptr_t{1});
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Missing", &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "Software\\Missing", &key), ERROR_FILE_NOT_FOUND);
  HKEY software = Create(HKEY_CURRENT_USER, "Software");
  EXPECT_EQ(Open(software, "Missing\\Deeper", &key), ERROR_FILE_NOT_FOUND);
  RegistryCloseKey(software);
}

TEST_F(RegistryTest, HivesAreSeparate) {
  HKEY user = Create(HKEY_CURRENT_USER, "clsid\\{x}");
  HKEY classes = Create(HKEY_CLASSES_ROOT, "clsid\\{x}");
  SetString(user, "", "user");
  SetString(classes, "", "classes");
  EXPECT_EQ(Read(user, ""), std::string("user\0", 5));
  EXPECT_EQ(Read(classes, ""), std::string("classes\0", 8));
  RegistryCloseKey(user);
  RegistryCloseKey(classes);
}

TEST_F(RegistryTest, ValueNamesIgnoreLetterCaseAndOneValueIsReplaced) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Vellum Software\\Lectern");
  SetString(key, "Window Position", "1,2,3,4");
  EXPECT_EQ(Read(key, "window position"), std::string("1,2,3,4\0", 8));
  SetString(key, "WINDOW POSITION", "5,6,7,8");
  EXPECT_EQ(Read(key, "Window Position"), std::string("5,6,7,8\0", 8));
  EXPECT_EQ(RegistryDeleteValue(key, "window position"), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "Window Position"), "<2>");
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, DefaultValueIsTheEmptyOrNullName) {
  HKEY key = Create(HKEY_CLASSES_ROOT, "clsid\\{list}");
  EXPECT_EQ(Read(key, ""), "<2>");
  EXPECT_EQ(Read(key, nullptr), "<2>");
  const char body[] = {'\xc6', '\xa6', '\0'};
  ASSERT_EQ(RegistrySetValue(key, "", REG_BINARY, Bytes(body), 3), ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Read(key, nullptr, &type), std::string(body, 3));
  EXPECT_EQ(type, REG_BINARY);
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, TypesAndSizesAreKept) {
  HKEY key = Create(HKEY_CURRENT_USER, "Types");
  DWORD type = 0;

  // A string's size counts its NUL, and one written without it reads back terminated.
  SetString(key, "text", "abc");
  EXPECT_EQ(Read(key, "text", &type), std::string("abc\0", 4));
  EXPECT_EQ(type, REG_SZ);
  ASSERT_EQ(RegistrySetValue(key, "unterminated", REG_SZ, Bytes("abc"), 3), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "unterminated"), std::string("abc\0", 4));
  ASSERT_EQ(RegistrySetValue(key, "empty text", REG_SZ, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "empty text"), std::string("\0", 1));

  // Binary bytes come back exactly, NULs included; an empty binary value exists with size 0.
  std::string binary("\0\1\2\0\xff", 5);
  ASSERT_EQ(RegistrySetValue(key, "binary", REG_BINARY, Bytes(binary.data()), 5), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "binary", &type), binary);
  EXPECT_EQ(type, REG_BINARY);
  ASSERT_EQ(RegistrySetValue(key, "nothing", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "nothing"), "");

  uint32_t number = 0x01020304;
  ASSERT_EQ(RegistrySetValue(key, "number", REG_DWORD, reinterpret_cast<BYTE*>(&number), 4), ERROR_SUCCESS);
  EXPECT_EQ(Read(key, "number", &type), std::string(reinterpret_cast<char*>(&number), 4));
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(RegistrySetValue(key, "number", REG_DWORD, reinterpret_cast<BYTE*>(&number), 3), ERROR_INVALID_PARAMETER);

  // Writing another type replaces the value, type and all.
  SetString(key, "number", "now text");
  EXPECT_EQ(Read(key, "number", &type), std::string("now text\0", 9));
  EXPECT_EQ(type, REG_SZ);

  EXPECT_EQ(RegistrySetValue(key, "bad", REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, SizeQueriesAndShortBuffers) {
  HKEY key = Create(HKEY_CURRENT_USER, "Sizes");
  SetString(key, "v", "0,0,640,480");  // 12 bytes with the NUL

  DWORD type = 0, size = 0;
  EXPECT_EQ(RegistryQueryValue(key, "v", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(type, REG_SZ);

  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  size = 11;
  type = 0;
  EXPECT_EQ(RegistryQueryValue(key, "v", &type, reinterpret_cast<BYTE*>(buffer), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(16, '#'));

  size = 12;
  EXPECT_EQ(RegistryQueryValue(key, "v", nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "0,0,640,480");
  size = sizeof buffer;
  EXPECT_EQ(RegistryQueryValue(key, "v", nullptr, reinterpret_cast<BYTE*>(buffer), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 12u);

  // Existence and type alone; a buffer without a size is refused.
  type = 0;
  EXPECT_EQ(RegistryQueryValue(key, "v", &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(RegistryQueryValue(key, "v", nullptr, reinterpret_cast<BYTE*>(buffer), nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegistryQueryValue(key, "missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegistryCloseKey(key);
}

TEST_F(RegistryTest, DeletingKeysAndValues) {
  HKEY parent = Create(HKEY_CURRENT_USER, "A");
  HKEY child = Create(parent, "B");
  SetString(child, "v", "1");

  EXPECT_EQ(RegistryDeleteValue(child, "missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegistryDeleteKey(HKEY_CURRENT_USER, "A"), ERROR_ACCESS_DENIED);  // still has B
  EXPECT_EQ(RegistryDeleteKey(HKEY_CURRENT_USER, ""), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegistryDeleteKey(HKEY_CURRENT_USER, "A\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegistryDeleteKey(parent, "b"), ERROR_SUCCESS);

  // A handle on a deleted key says so, even once a key of the same name exists again.
  EXPECT_EQ(Read(child, "v"), ErrorCodeText(ERROR_KEY_DELETED));
  EXPECT_EQ(RegistrySetValue(child, "v", REG_SZ, Bytes("2"), 2), ERROR_KEY_DELETED);
  HKEY again = Create(parent, "B");
  EXPECT_EQ(Read(again, "v"), "<2>");  // its values went with it
  EXPECT_EQ(Read(child, "v"), ErrorCodeText(ERROR_KEY_DELETED));
  HKEY under = nullptr;
  EXPECT_EQ(RegistryCreateKey(child, "C", REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, &under, nullptr),
            ERROR_KEY_DELETED);

  EXPECT_EQ(RegistryDeleteKey(parent, "B"), ERROR_SUCCESS);
  EXPECT_EQ(RegistryDeleteKey(HKEY_CURRENT_USER, "A"), ERROR_SUCCESS);
  HKEY gone = nullptr;
  EXPECT_EQ(Open(HKEY_CURRENT_USER, "A", &gone), ERROR_FILE_NOT_FOUND);
  for (HKEY k : {parent, child, again}) RegistryCloseKey(k);
}

TEST_F(RegistryTest, AccessMasksAreEnforced) {
  RegistryCloseKey(Create(HKEY_CURRENT_USER, "Access"));
  HKEY reader = nullptr, writer = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Access", &reader, KEY_READ), ERROR_SUCCESS);
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "Access", &writer, KEY_WRITE), ERROR_SUCCESS);

  EXPECT_EQ(RegistrySetValue(reader, "v", REG_SZ, Bytes("x"), 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegistryDeleteValue(reader, "v"), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegistryCreateKey(reader, "Sub", REG_OPTION_NON_VOLATILE, KEY_READ, &sub, nullptr), ERROR_ACCESS_DENIED);

  EXPECT_EQ(RegistrySetValue(writer, "v", REG_SZ, Bytes("x"), 2), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegistryQueryValue(writer, "v", nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Read(reader, "v"), std::string("x\0", 2));
  RegistryCloseKey(reader);
  RegistryCloseKey(writer);
}

TEST_F(RegistryTest, HandlesAndNamesAreChecked) {
  HKEY key = Create(HKEY_CURRENT_USER, "Handles");
  EXPECT_EQ(RegistryCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegistryCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegistryCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  EXPECT_EQ(RegistrySetValue(key, "v", REG_SZ, Bytes("x"), 2), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Read(key, "v"), ErrorCodeText(ERROR_INVALID_HANDLE));
  HKEY out = nullptr;
  EXPECT_EQ(Open(nullptr, "Handles", &out), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegistryCreateKey(HKEY_CURRENT_USER, "x", REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegistryCreateKey(HKEY_CURRENT_USER, "x", 1 /* volatile */, KEY_READ, &out, nullptr),
            ERROR_INVALID_PARAMETER);

  for (const char* bad : {"a\\\\b", "\\a", "a\\"}) {
    EXPECT_EQ(RegistryCreateKey(HKEY_CURRENT_USER, bad, REG_OPTION_NON_VOLATILE, KEY_READ, &out, nullptr),
              ERROR_INVALID_PARAMETER)
        << bad;
  }
  std::string longest(255, 'k');
  HKEY fits = Create(HKEY_CURRENT_USER, longest.c_str());
  RegistryCloseKey(fits);
  std::string too_long(256, 'k');
  EXPECT_EQ(RegistryCreateKey(HKEY_CURRENT_USER, too_long.c_str(), REG_OPTION_NON_VOLATILE, KEY_READ, &out, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryTest, ValuesSurviveAnotherStoreConnection) {
  HKEY key = Create(HKEY_CURRENT_USER, "Software\\Vellum Software\\Lectern");
  SetString(key, "window position", "10,20,650,500");
  // Pointing at the same file again drops the connection and every handle.
  UseRegistryStore({dir_.Join("config/registry.db")});
  EXPECT_EQ(Read(key, "window position"), ErrorCodeText(ERROR_INVALID_HANDLE));
  HKEY reopened = nullptr;
  ASSERT_EQ(Open(HKEY_CURRENT_USER, "software\\vellum software\\lectern", &reopened), ERROR_SUCCESS);
  EXPECT_EQ(Read(reopened, "Window Position"), std::string("10,20,650,500\0", 14));
  RegistryCloseKey(reopened);
}

TEST_F(RegistryTest, NoStoreMeansFailureNotCrash) {
  UseRegistryStore({""});
  HKEY key = nullptr;
  EXPECT_NE(RegistryCreateKey(HKEY_CURRENT_USER, "x", REG_OPTION_NON_VOLATILE, KEY_READ, &key, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(key, nullptr);
  EXPECT_NE(Open(HKEY_CURRENT_USER, "x", &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_NE(RegistryQueryValue(HKEY_CURRENT_USER, "x", nullptr, nullptr, &size), ERROR_SUCCESS);
}

}  // namespace
}  // namespace lectern
