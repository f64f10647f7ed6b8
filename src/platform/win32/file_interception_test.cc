#include "platform/win32/file_interception.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "archive/test_books.h"
#include "book/ebk_manager.h"
#include "datastore/virtual_file_layer.h"
#include "platform/registry.h"
#include "platform/win32/win32_file_functions.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

// The client module's exports: its calls go through its own imports.
struct Client {
  HANDLE(WINAPI* open)(const char*);
  BOOL(WINAPI* read)(HANDLE, void*, DWORD, DWORD*);
  DWORD(WINAPI* seek)(HANDLE, LONG, DWORD);
  DWORD(WINAPI* size)(HANDLE);
  BOOL(WINAPI* close)(HANDLE);
  DWORD(WINAPI* attributes)(const char*);
  HANDLE(WINAPI* find_first)(const char*, WIN32_FIND_DATAA*);
  BOOL(WINAPI* find_close)(HANDLE);
  BOOL(WINAPI* copy)(const char*, const char*, BOOL);
  HRESULT(WINAPI* drag)();
};

template <typename Function>
void Bind(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  ASSERT_NE(function, nullptr) << name;
}

using FeatureFunction = HRESULT(WINAPI*)(DWORD, DWORD);
using ZoneFunction = HRESULT(WINAPI*)(const OLECHAR*, const OLECHAR*, void*, DWORD);

class FileInterceptionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    media_ = new std::string(100000, '\0');
    std::mt19937 gen(5);
    for (char& c : *media_) c = char(gen());
    testing::TestBook book;
    book.files = {{"page.htm", "0123456789"}, {"clip.ogg", *media_}, {"folder/", ""}};
    book.raw = {{"clip.ogg", true}};
    ASSERT_TRUE(testing::WriteTestBook(dir_->Join("b.ebk"), book));
    manager_ = CEbkManager::Create();
    ASSERT_EQ(manager_->Open(Utf8ToWide(dir_->Join("b.ebk")).c_str()), S_OK);
    PublishEbkManager(manager_);

    // The feature functions' own answers, before they are patched.
    HMODULE urlmon = ::LoadLibraryA("urlmon.dll");
    feature_ = reinterpret_cast<FeatureFunction>(reinterpret_cast<void*>(::GetProcAddress(urlmon, "CoInternetIsFeatureEnabled")));
    zone_ = reinterpret_cast<ZoneFunction>(
        reinterpret_cast<void*>(::GetProcAddress(urlmon, "CoInternetIsFeatureZoneElevationEnabled")));
    ASSERT_NE(feature_, nullptr);
    ASSERT_NE(zone_, nullptr);
    unpatched_zone_elevation_ = feature_(1, 2);
    unpatched_other_feature_ = feature_(5, 2);

    // The client stands in for the plug-in module the list ends with, found through its
    // registration, so the installation reaches it as it would reach the plug-in.
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    client_path_ = new std::string(std::string(path, n).substr(0, std::string(path, n).find_last_of('\\') + 1) +
                                   FILE_CLIENT_DLL);
    HKEY key = nullptr;
    ASSERT_EQ(RegistryCreateKey(HKEY_CLASSES_ROOT, kPluginServerKey, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegistrySetValue(key, nullptr, REG_SZ, reinterpret_cast<const BYTE*>(client_path_->c_str()),
                               DWORD(client_path_->size() + 1)),
              ERROR_SUCCESS);
    RegistryCloseKey(key);

    InstallFileInterception();
    client_module_ = ::GetModuleHandleA(FILE_CLIENT_DLL);
  }
  static void TearDownTestSuite() {
    ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kPluginServerKey);
    PublishEbkManager(nullptr);
    manager_->Release();
    delete dir_;
    delete media_;
    delete client_path_;
  }
  void SetUp() override {
    ASSERT_NE(client_module_, nullptr) << "the installation loaded the registered module";
    Bind(client_module_, "ClientCreateFileA", client_.open);
    Bind(client_module_, "ClientReadFile", client_.read);
    Bind(client_module_, "ClientSetFilePointer", client_.seek);
    Bind(client_module_, "ClientGetFileSize", client_.size);
    Bind(client_module_, "ClientCloseHandle", client_.close);
    Bind(client_module_, "ClientGetFileAttributesA", client_.attributes);
    Bind(client_module_, "ClientFindFirstFileA", client_.find_first);
    Bind(client_module_, "ClientFindClose", client_.find_close);
    Bind(client_module_, "ClientCopyFileA", client_.copy);
    Bind(client_module_, "ClientDoDragDrop", client_.drag);
  }

  std::string ReadAll(HANDLE file) {
    std::string out;
    char buffer[4096];
    DWORD got = 0;
    while (client_.read(file, buffer, sizeof buffer, &got) && got > 0) out.append(buffer, got);
    return out;
  }

  static TempDir* dir_;
  static std::string* media_;
  static std::string* client_path_;
  static IEbkManager* manager_;
  static HMODULE client_module_;
  static FeatureFunction feature_;
  static ZoneFunction zone_;
  static HRESULT unpatched_zone_elevation_;
  static HRESULT unpatched_other_feature_;
  Client client_{};
};

TempDir* FileInterceptionTest::dir_ = nullptr;
std::string* FileInterceptionTest::media_ = nullptr;
std::string* FileInterceptionTest::client_path_ = nullptr;
IEbkManager* FileInterceptionTest::manager_ = nullptr;
HMODULE FileInterceptionTest::client_module_ = nullptr;
FeatureFunction FileInterceptionTest::feature_ = nullptr;
ZoneFunction FileInterceptionTest::zone_ = nullptr;
HRESULT FileInterceptionTest::unpatched_zone_elevation_ = E_FAIL;
HRESULT FileInterceptionTest::unpatched_other_feature_ = E_FAIL;

TEST_F(FileInterceptionTest, TheListIsInOrderAndEndsWithTheRegisteredModule) {
  std::vector<std::string> modules = InterceptedModules();
  ASSERT_EQ(modules.size(), 11u);
  EXPECT_EQ(modules[0], "urlmon.dll");
  EXPECT_EQ(modules[9], "shlwapi.dll");
  EXPECT_EQ(modules[10], *client_path_);
  // Every import of the client that the list names now leads to its replacement.
  int patched = 0;
  for (const FilePatch& patch : FilePatches()) {
    void** slot = FindImportSlot(client_module_, patch.imported_module, patch.function);
    if (!slot) continue;
    EXPECT_EQ(*slot, patch.replacement) << patch.function.name();
    ++patched;
  }
  EXPECT_EQ(patched, 9) << "CreateFileA, ReadFile, SetFilePointer, GetFileSize, CloseHandle, GetFileAttributesA, "
                           "FindFirstFileA, FindClose, CopyFileA";
  // The system's own modules of the list are patched where they import the functions.
  HMODULE urlmon = ::GetModuleHandleA("urlmon.dll");
  ASSERT_NE(urlmon, nullptr);
  for (const FilePatch& patch : FilePatches()) {
    if (void** slot = FindImportSlot(urlmon, patch.imported_module, patch.function)) {
      EXPECT_EQ(*slot, patch.replacement);
    }
  }
}

TEST_F(FileInterceptionTest, DatastoreCallsReadTheBook) {
  HANDLE page = client_.open("c:\\datastore\\page.htm");
  ASSERT_NE(page, INVALID_HANDLE_VALUE);
  EXPECT_EQ(client_.size(page), 10u);
  EXPECT_EQ(ReadAll(page), "0123456789");
  DWORD got = 99;
  char byte;
  EXPECT_TRUE(client_.read(page, &byte, 1, &got)) << "past the end: TRUE with nothing";
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(client_.seek(page, 2, FILE_BEGIN), 2u);
  EXPECT_EQ(ReadAll(page), "23456789");
  EXPECT_EQ(client_.seek(page, 10, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(client_.seek(page, 0, FILE_END), 10u);
  EXPECT_TRUE(client_.close(page));

  HANDLE clip = client_.open("c:\\datastore\\clip.ogg");
  ASSERT_NE(clip, INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadAll(clip), *media_) << "raw media unmasked";
  EXPECT_TRUE(client_.close(clip));

  EXPECT_EQ(client_.attributes("c:\\datastore\\page.htm"), 0xA0u);
  EXPECT_EQ(client_.attributes("c:\\datastore"), 0xA0u);
  WIN32_FIND_DATAA found{};
  HANDLE find = client_.find_first("c:\\datastore\\clip.ogg", &found);
  EXPECT_EQ(find, kDatastoreFindHandle);
  EXPECT_EQ(found.nFileSizeLow, media_->size());
  EXPECT_STREQ(found.cFileName, "clip.ogg");
  EXPECT_TRUE(client_.find_close(find));
  EXPECT_EQ(client_.open("c:\\datastore\\missing.htm"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(FileInterception().open_stream_count(), 0u);
}

TEST_F(FileInterceptionTest, OtherPathsReachTheRealFiles) {
  std::string real = dir_->Write("real.txt", "on disk\r\n");
  HANDLE file = client_.open(real.c_str());
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(client_.size(file), 9u);
  EXPECT_EQ(ReadAll(file), "on disk\r\n");
  EXPECT_TRUE(client_.close(file));
  EXPECT_NE(client_.attributes(real.c_str()), INVALID_FILE_ATTRIBUTES);
  ::SetLastError(0);
  EXPECT_EQ(client_.attributes(dir_->Join("absent").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << "the system's own error";
  WIN32_FIND_DATAA found{};
  HANDLE find = client_.find_first(real.c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(found.cFileName, "real.txt");
  EXPECT_TRUE(client_.find_close(find));
}

TEST_F(FileInterceptionTest, AnsweredCallsLeaveTheLastErrorAlone) {
  ::SetLastError(1234);
  EXPECT_EQ(client_.attributes("c:\\datastore\\page.htm"), 0xA0u);
  EXPECT_EQ(::GetLastError(), 1234u);
  HANDLE page = client_.open("c:\\datastore\\page.htm");
  EXPECT_EQ(::GetLastError(), 1234u);
  client_.close(page);
  EXPECT_EQ(::GetLastError(), 1234u);
}

TEST_F(FileInterceptionTest, CopiesGiveTheStreamsBytesAndRespectFailIfExists) {
  std::string target = dir_->Join("copy.ogg");
  EXPECT_TRUE(client_.copy("c:\\datastore\\clip.ogg", target.c_str(), TRUE));
  EXPECT_EQ(ReadWholeFile(target), *media_);
  std::string page = dir_->Write("page.htm", "keep me");
  EXPECT_FALSE(client_.copy("c:\\datastore\\page.htm", page.c_str(), TRUE));
  EXPECT_EQ(ReadWholeFile(page), "keep me");
  EXPECT_TRUE(client_.copy("c:\\datastore\\page.htm", page.c_str(), FALSE));
  EXPECT_EQ(ReadWholeFile(page), "0123456789");
  // A real source is the real function's.
  std::string again = dir_->Join("again.htm");
  EXPECT_TRUE(client_.copy(page.c_str(), again.c_str(), TRUE));
  EXPECT_EQ(ReadWholeFile(again), "0123456789");
}

TEST_F(FileInterceptionTest, TheDragGateHoldsWhileCopyingIsOff) {
  std::optional<void*> old = PatchImport(client_path_->c_str(), "ole32.dll", ImportName::Named("DoDragDrop"),
                                         DragGateAddress());
  ASSERT_TRUE(old.has_value());
  SetDragCopyAllowed(false);
  EXPECT_EQ(client_.drag(), DRAGDROP_S_CANCEL);
  SetDragCopyAllowed(true);
  // Passed on: the system refuses a drag without a data object, but not as a cancel.
  EXPECT_NE(client_.drag(), DRAGDROP_S_CANCEL);
  SetDragCopyAllowed(false);
  PatchImport(client_path_->c_str(), "ole32.dll", ImportName::Named("DoDragDrop"), *old);
}

TEST_F(FileInterceptionTest, FeatureFunctionsAnswerForEveryCallerAndStayCallableUnpatched) {
#if !defined(__i386__)
  // Entry points are patched in 32-bit x86 code only: elsewhere the system answers, untouched.
  EXPECT_FALSE(FeatureFunctionsPatched());
  EXPECT_EQ(feature_(5, 2), unpatched_other_feature_);
  EXPECT_EQ(Win32RealFileFunctions().CoInternetIsFeatureEnabled(5, 2), unpatched_other_feature_);
  return;
#endif
  ASSERT_TRUE(FeatureFunctionsPatched());
  EXPECT_EQ(feature_(1, 2), S_OK) << "zone elevation reads as enabled";
  EXPECT_EQ(feature_(5, 2), unpatched_other_feature_) << "other features as the system says";
  EXPECT_EQ(zone_(L"file://c:/datastore/a.htm", L"http://example.org/", nullptr, 0), S_FALSE);
  // Through the trampoline: the unpatched answers.
  EXPECT_EQ(Win32RealFileFunctions().CoInternetIsFeatureEnabled(1, 2), unpatched_zone_elevation_);
  EXPECT_EQ(Win32RealFileFunctions().CoInternetIsFeatureEnabled(5, 2), unpatched_other_feature_);
  // A second installation patches nothing twice.
  InstallFileInterception();
  EXPECT_EQ(feature_(5, 2), unpatched_other_feature_);
  EXPECT_EQ(Win32RealFileFunctions().CoInternetIsFeatureEnabled(5, 2), unpatched_other_feature_);
}

// Last: after removal every replacement gives its fixed answer.
TEST_F(FileInterceptionTest, ZAfterRemovalTheFixedAnswersHold) {
  std::string real = dir_->Write("after.txt", "x");
  HANDLE before = client_.open("c:\\datastore\\page.htm");
  ASSERT_NE(before, INVALID_HANDLE_VALUE);
  RemoveFileInterception();
  EXPECT_EQ(client_.open("c:\\datastore\\page.htm"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(client_.open(real.c_str()), INVALID_HANDLE_VALUE) << "nothing is passed on";
  DWORD got = 5;
  char byte;
  EXPECT_FALSE(client_.read(before, &byte, 1, &got));
  EXPECT_EQ(client_.seek(before, 0, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(client_.size(before), 0u);
  EXPECT_EQ(client_.attributes(real.c_str()), 0u);
  WIN32_FIND_DATAA found{};
  EXPECT_EQ(client_.find_first(real.c_str(), &found), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(client_.find_close(kDatastoreFindHandle));
  EXPECT_FALSE(client_.copy(real.c_str(), dir_->Join("c.txt").c_str(), FALSE));
  EXPECT_TRUE(client_.close(reinterpret_cast<HANDLE>(uintptr_t(0x12345678))));
  InstallFileInterception();
  EXPECT_EQ(ReadWholeFile(real), "x");
}

}  // namespace
}  // namespace lectern
