#include "shell/ebk_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(WindowPositionTest, ParsesFourNumbersSeparatedBySpacesOrCommas) {
  constexpr int32_t kMax = 2147483647, kMin = -kMax - 1;
  struct Case {
    const char* text;
    bool ok;
    WindowRect rect;
  } cases[] = {
      {"1,2,3,4", true, {1, 2, 3, 4}},
      {"10 20,30 , 40", true, {10, 20, 30, 40}},
      {",, 5,,6  7,8,", true, {5, 6, 7, 8}},
      {"1,2,3,4,5", true, {1, 2, 3, 4}},
      {"-5,+7,3x,\t9", true, {-5, 7, 3, 9}},
      {"a,b,c,d", true, {0, 0, 0, 0}},
      {"99999999999,-99999999999,2147483647,-2147483648", true, {kMax, kMin, kMax, kMin}},
      {"1,2,3", false, {}},
      {" , , ", false, {}},
      {"", false, {}},
  };
  for (const Case& c : cases) {
    WindowRect rect{-1, -1, -1, -1};
    EXPECT_EQ(ParseWindowPosition(c.text, &rect), c.ok) << c.text;
    EXPECT_EQ(rect, (c.ok ? c.rect : WindowRect{-1, -1, -1, -1})) << c.text;
  }
  WindowRect rect{-8, -8, 1928, 1048};
  EXPECT_EQ(FormatWindowPosition(rect), "-8,-8,1928,1048");
  WindowRect back;
  ASSERT_TRUE(ParseWindowPosition(FormatWindowPosition(rect), &back));
  EXPECT_EQ(back, rect);
}

TEST(WorkingFolderNameTest, PlainIdentitiesKeepTheirTextAndOthersAreHashed) {
  EXPECT_EQ(WorkingFolderName("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}"), "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
  EXPECT_EQ(WorkingFolderName("deadbeef"), "deadbeef");
  EXPECT_EQ(WorkingFolderName("../../etc"), "id-7baf5cb685c8d7104291da30b112470f4440d967");
  EXPECT_EQ(WorkingFolderName(""), "no-identity");

  const std::string hostile[] = {"..", ".", "a/b", "/abs", "..\\..", "{x}", "with space", std::string("a\0b", 3),
                                 "\x01\x02", "no-identity", "id-0000", std::string(200, 'a'), "\xc3\xa9"};
  std::set<std::string> names{WorkingFolderName("")};
  for (const std::string& identity : hostile) {
    std::string name = WorkingFolderName(identity);
    EXPECT_EQ(name.size(), 43u) << identity;
    EXPECT_EQ(name.rfind("id-", 0), 0u) << identity;
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef", 3), std::string::npos) << identity;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), std::size(hostile) + 1);  // no two books share a folder
}

class EbkRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { UseRegistryStore({dir_.Join("config/registry.db"), 500}); }
  void TearDown() override { UseRegistryStore({""}); }

  EbkRegistry MakeRegistry(ScreenSize screen = {1920, 1080}) {
    EbkRegistryEnvironment env;
    env.screen_size = [screen] { return screen; };
    env.data_folder = [this] { return data_; };
    env.temp_folder = [this] { return temp_; };
    return EbkRegistry(env);
  }
  void StoreValue(DWORD type, const std::string& bytes) {
    RegistryKeyHolder key;
    ASSERT_EQ(RegistryCreateKey(HKEY_CURRENT_USER, kLecternKeyPath, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                key.out(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegistrySetValue(key.get(), kWindowPositionValue, type, reinterpret_cast<const BYTE*>(bytes.data()),
                               DWORD(bytes.size())),
              ERROR_SUCCESS);
  }

  TempDir dir_;
  std::string data_ = dir_.Join("data/lectern");
  std::string temp_ = dir_.Join("tmp");
};

TEST_F(EbkRegistryTest, DefaultRectangleIsCentredInTheScreen) {
  EXPECT_EQ(MakeRegistry({1920, 1080}).DefaultWindowRect(), (WindowRect{640, 300, 1280, 780}));
  EXPECT_EQ(MakeRegistry({1025, 769}).DefaultWindowRect(), (WindowRect{192, 144, 832, 624}));
  EXPECT_EQ(MakeRegistry({600, 400}).DefaultWindowRect(), (WindowRect{-20, -40, 620, 440}));
  EbkRegistry registry;  // without a window layer
  EXPECT_EQ(registry.DefaultWindowRect(), (WindowRect{192, 144, 832, 624}));
  registry.SetScreenSizeSource([] { return ScreenSize{1280, 1024}; });
  EXPECT_EQ(registry.DefaultWindowRect(), (WindowRect{320, 272, 960, 752}));
}

TEST_F(EbkRegistryTest, FirstRunMakesTheKeyAndTakesTheDefault) {
  EbkRegistry registry = MakeRegistry();
  EXPECT_TRUE(registry.Initialise("{AB}"));
  EXPECT_EQ(registry.window_rect(), registry.DefaultWindowRect());
  EXPECT_EQ(registry.book_identity(), "{AB}");
  HKEY key = nullptr;
  ASSERT_EQ(RegistryOpenKey(HKEY_CURRENT_USER, "Software\\Vellum Software\\Lectern", KEY_READ, &key), ERROR_SUCCESS);
  RegistryCloseKey(key);
  EXPECT_TRUE(registry.EnsureKey());
}

TEST_F(EbkRegistryTest, SavedRectangleIsLoadedOnTheNextRun) {
  EbkRegistry first = MakeRegistry();
  ASSERT_TRUE(first.EnsureKey());
  WindowRect rect{-8, 12, 1000, 700};
  EXPECT_TRUE(first.SaveWindowRect(&rect));
  EXPECT_FALSE(first.SaveWindowRect(nullptr));

  char text[64] = {};
  DWORD size = sizeof text;
  HKEY key = nullptr;
  ASSERT_EQ(RegistryOpenKey(HKEY_CURRENT_USER, kLecternKeyPath, KEY_READ, &key), ERROR_SUCCESS);
  DWORD type = 0;
  ASSERT_EQ(RegistryQueryValue(key, "window position", &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
  RegistryCloseKey(key);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(std::string(text, size), std::string("-8,12,1000,700\0", 15));

  UseRegistryStore({dir_.Join("config/registry.db")});  // as a new process would
  EbkRegistry second = MakeRegistry();
  second.Initialise("{AB}");
  EXPECT_EQ(second.window_rect(), rect);
}

TEST_F(EbkRegistryTest, StoredValuesThatAreNotFourNumbersGiveTheDefault) {
  struct Case {
    DWORD type;
    std::string bytes;
    WindowRect expected;
  } cases[] = {
      {REG_SZ, std::string("10 20,30 , 40\0", 14), {10, 20, 30, 40}},
      {REG_SZ, "1 2 3 4", {1, 2, 3, 4}},  // unterminated text is terminated on the way in
      {REG_SZ, std::string("1,2,3\0", 6), {640, 300, 1280, 780}},
      {REG_SZ, std::string("1,2,3\0,4", 8), {640, 300, 1280, 780}},  // text ends at the NUL
      {REG_BINARY, "1,2,3,4", {640, 300, 1280, 780}},
      {REG_SZ, std::string(600, '7'), {640, 300, 1280, 780}},  // longer than the 512 bytes read
  };
  for (const Case& c : cases) {
    StoreValue(c.type, c.bytes);
    EbkRegistry registry = MakeRegistry();
    registry.Initialise("{AB}");
    EXPECT_EQ(registry.window_rect(), c.expected) << c.bytes;
  }
}

TEST_F(EbkRegistryTest, SavingFailsWhenTheKeyIsGoneOrTheStoreUnusable) {
  EbkRegistry registry = MakeRegistry();
  WindowRect rect{1, 2, 3, 4};
  EXPECT_FALSE(registry.SaveWindowRect(&rect));  // the key was never made
  UseRegistryStore({""});
  EXPECT_FALSE(registry.EnsureKey());
  EXPECT_TRUE(registry.Initialise("{AB}"));  // defaults, no failure
  EXPECT_EQ(registry.window_rect(), registry.DefaultWindowRect());
  EXPECT_FALSE(registry.SaveWindowRect(&rect));
}

TEST_F(EbkRegistryTest, WorkingFolderIsMadeInsideTheUsersDataFolder) {
  EbkRegistry registry = MakeRegistry();
  registry.Initialise("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
  std::string folder;
  ASSERT_TRUE(registry.WorkingFolder(folder));
  EXPECT_EQ(folder, data_ + "/Lectern/{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");
  EXPECT_TRUE(IsFolder(folder));
  EXPECT_EQ(registry.working_folder(), folder);

  // An existing folder and its bookmarks are used unchanged.
  dir_.Write("data/lectern/Lectern/{3F2504E0-4F89-11D3-9A0C-0305E82C3301}/favorites.dat", "a\x01u\x02");
  std::string again;
  ASSERT_TRUE(registry.WorkingFolder(again));
  EXPECT_EQ(again, folder);
  EXPECT_EQ(testing::ReadWholeFile(folder + "/favorites.dat"), "a\x01u\x02");
}

TEST_F(EbkRegistryTest, HostileIdentitiesStayInsideTheirOwnFolder) {
  EbkRegistry registry = MakeRegistry();
  std::set<std::string> folders;
  for (const char* identity : {"../../escaped", "/etc", "a/b", "..", "", "\n"}) {
    registry.Initialise(identity);
    std::string folder;
    ASSERT_TRUE(registry.WorkingFolder(folder)) << identity;
    std::string parent = data_ + "/Lectern/";
    ASSERT_EQ(folder.rfind(parent, 0), 0u) << identity;
    EXPECT_EQ(folder.find('/', parent.size()), std::string::npos) << identity;
    EXPECT_TRUE(IsFolder(folder));
    folders.insert(folder);
  }
  EXPECT_EQ(folders.size(), 6u);
  EXPECT_FALSE(IsFolder(dir_.Join("escaped")));
  EXPECT_TRUE(IsFolder(data_ + "/Lectern/no-identity"));
}

TEST_F(EbkRegistryTest, BooksWithoutAGuidAreNamedByTheirOwnIdentity) {
  EbkRegistry registry = MakeRegistry();
  // A guid keeps exactly the folder it always had, whatever the archive says.
  registry.Initialise("{AB}", "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(registry.book_identity(), "{AB}");
  EXPECT_EQ(registry.working_folder(), data_ + "/Lectern/{AB}");

  std::string first, second;
  registry.Initialise("", "0123456789abcdef0123456789abcdef");
  ASSERT_TRUE(registry.WorkingFolder(first));
  EXPECT_EQ(first, data_ + "/Lectern/0123456789abcdef0123456789abcdef");
  registry.Initialise("", "fedcba9876543210fedcba9876543210");
  ASSERT_TRUE(registry.WorkingFolder(second));
  EXPECT_NE(first, second);

  // Preview Mode: one project, however it is named on the command line, keeps one identity.
  std::string project = dir_.Write("proj/book.bpj", "<p><config/></p>");
  std::string same = ProjectPathIdentity(dir_.Join("proj/../proj/./book.bpj"));
  EXPECT_EQ(ProjectPathIdentity(project), same);
  EXPECT_EQ(same.size(), 32u);
  EXPECT_EQ(same.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(ProjectPathIdentity(dir_.Write("other/book.bpj", "<p><config/></p>")), same);
  EXPECT_EQ(WorkingFolderName(same), same);
}

TEST_F(EbkRegistryTest, WithoutADataFolderTheTemporaryFolderIsUsed) {
  data_.clear();
  EbkRegistry registry = MakeRegistry();
  registry.Initialise("{AB}");
  std::string folder;
  ASSERT_TRUE(registry.WorkingFolder(folder));
  EXPECT_EQ(folder, temp_ + "/Lectern/{AB}");
  EXPECT_TRUE(IsFolder(folder));
}

TEST_F(EbkRegistryTest, AFolderThatCannotBeMadeIsReportedWithItsPath) {
  dir_.Write("data/lectern", "a file where the folder should be");
  EbkRegistry registry = MakeRegistry();
  registry.Initialise("{AB}");
  std::string folder;
  EXPECT_FALSE(registry.WorkingFolder(folder));
  EXPECT_EQ(folder, data_ + "/Lectern/{AB}");
}

}  // namespace
}  // namespace lectern
