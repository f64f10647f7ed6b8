#include "platform/user_folders.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace lectern {
namespace {

TEST(Win32FoldersTest, TemporaryFolderIsTheSystemsWithoutItsSeparator) {
  char system[MAX_PATH];
  DWORD n = ::GetTempPathA(MAX_PATH, system);
  ASSERT_GT(n, 0u);
  std::string expected(system, n);
  expected.pop_back();
  EXPECT_EQ(TemporaryFolder(), expected);
  DWORD attributes = ::GetFileAttributesA(TemporaryFolder().c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace
}  // namespace lectern
