#include "platform/win32/win32_file_functions.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

TEST(Win32FileFunctionsTest, TheSystemsFunctionsReadAndWriteRealFiles) {
  Win32FileFunctions& real = Win32RealFileFunctions();
  ASSERT_TRUE(real.resolved());
  testing::TempDir dir;
  std::string path = dir.Join("f.bin");
  HANDLE out = real.CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(real.WriteFile(out, "ab\r\ncd", 6, &written, nullptr));
  EXPECT_TRUE(real.CloseHandle(out));
  EXPECT_EQ(testing::ReadWholeFile(path), "ab\r\ncd") << "bytes, not text";

  HANDLE in = real.CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  EXPECT_EQ(real.GetFileSize(in, nullptr), 6u);
  EXPECT_EQ(real.GetFileType(in), DWORD(FILE_TYPE_DISK));
  EXPECT_EQ(real.SetFilePointer(in, 4, nullptr, FILE_BEGIN), 4u);
  char buffer[8] = {};
  DWORD read = 0;
  EXPECT_TRUE(real.ReadFile(in, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "cd");
  real.CloseHandle(in);

  std::string copy = dir.Join("g.bin");
  EXPECT_TRUE(real.CopyFileA(path.c_str(), copy.c_str(), TRUE));
  EXPECT_FALSE(real.CopyFileA(path.c_str(), copy.c_str(), TRUE));
  WIN32_FIND_DATAA found{};
  HANDLE find = real.FindFirstFileA(copy.c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(found.cFileName, "g.bin");
  EXPECT_TRUE(real.FindClose(find));
  EXPECT_TRUE(real.DeleteFileA(copy.c_str()));
  EXPECT_EQ(real.GetFileAttributesA(copy.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace lectern
