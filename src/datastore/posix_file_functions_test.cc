#include "datastore/posix_file_functions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

class PosixFilesTest : public ::testing::Test {
 protected:
  HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
    return files.CreateFileA(path.c_str(), access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  TempDir dir;
  PosixFileFunctions files;
};

TEST_F(PosixFilesTest, ReadWriteSeekAndSize) {
  std::string path = dir.Join("f.bin");
  HANDLE out = Open(path, GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(out, kInvalidHandle);
  EXPECT_NE(out, nullptr);
  EXPECT_NE(out, kDatastoreFindHandle);
  DWORD n = 0;
  ASSERT_TRUE(files.WriteFile(out, "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(files.GetFileSize(out, nullptr), 11u);
  EXPECT_EQ(files.GetFileType(out), FILE_TYPE_DISK);
  EXPECT_EQ(files.SetFilePointer(out, 6, nullptr, FILE_BEGIN), 6u);
  char buf[16] = {};
  ASSERT_TRUE(files.ReadFile(out, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "world");
  ASSERT_TRUE(files.ReadFile(out, buf, sizeof buf, &n, nullptr)) << "the end is no failure";
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(files.SetFilePointer(out, -5, nullptr, FILE_END), 6u);
  EXPECT_EQ(files.SetFilePointer(out, -100, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  LONG high = 0;
  EXPECT_EQ(files.SetFilePointer(out, 2, &high, FILE_BEGIN), 2u);
  EXPECT_EQ(high, 0);
  EXPECT_TRUE(files.CloseHandle(out));
  EXPECT_FALSE(files.CloseHandle(out)) << "a closed handle is unknown";
  EXPECT_FALSE(files.ReadFile(out, buf, 1, &n, nullptr));
  EXPECT_EQ(ReadWholeFile(path), "hello world");
}

TEST_F(PosixFilesTest, DispositionsAndAccess) {
  std::string path = dir.Join("d.txt");
  EXPECT_EQ(Open(path, GENERIC_READ, OPEN_EXISTING), kInvalidHandle);
  HANDLE h = Open(path, GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, kInvalidHandle);
  DWORD n = 0;
  files.WriteFile(h, "abc", 3, &n, nullptr);
  files.CloseHandle(h);
  EXPECT_EQ(Open(path, GENERIC_WRITE, CREATE_NEW), kInvalidHandle) << "it exists";
  EXPECT_EQ(Open(path, GENERIC_READ, TRUNCATE_EXISTING), kInvalidHandle) << "truncating needs write access";
  EXPECT_EQ(Open(path, GENERIC_READ, 99), kInvalidHandle);
  h = Open(path, GENERIC_READ, OPEN_ALWAYS);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_FALSE(files.WriteFile(h, "x", 1, &n, nullptr)) << "opened for reading only";
  files.CloseHandle(h);
  EXPECT_EQ(ReadWholeFile(path), "abc");
  EXPECT_EQ(Open(dir.path(), GENERIC_READ, OPEN_EXISTING), kInvalidHandle) << "folders are not files";

  HANDLE w = files.CreateFileW(Utf8ToWide(dir.Join("wide \xc3\xa9.txt")).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(w, kInvalidHandle);
  files.CloseHandle(w);
  EXPECT_EQ(files.GetFileAttributesA(dir.Join("wide \xc3\xa9.txt").c_str()), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(PosixFilesTest, Attributes) {
  dir.Write("plain", "x");
  std::string ro = dir.Write("ro", "x");
  ::chmod(ro.c_str(), 0444);
  EXPECT_EQ(files.GetFileAttributesA(dir.Join("plain").c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(files.GetFileAttributesA(ro.c_str()), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(files.GetFileAttributesA(dir.path().c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(files.GetFileAttributesA(dir.Join("none").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(files.GetFileAttributesA(nullptr), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(files.GetFileAttributesW(Utf8ToWide(dir.path()).c_str()), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(PosixFilesTest, FindWithAndWithoutWildcards) {
  dir.Write("a.htm", "1");
  dir.Write("B.HTM", "22");
  dir.Write("c.css", "333");
  WIN32_FIND_DATAA data{};
  HANDLE find = files.FindFirstFileA(dir.Join("*.htm").c_str(), &data);
  ASSERT_NE(find, kInvalidHandle);
  std::set<std::string> names{data.cFileName};
  while (files.FindNextFileA(find, &data)) names.insert(data.cFileName);
  EXPECT_EQ(names, (std::set<std::string>{"a.htm", "B.HTM"})) << "patterns ignore case";
  EXPECT_TRUE(files.FindClose(find));
  EXPECT_FALSE(files.FindClose(find));

  find = files.FindFirstFileA(dir.Join("c.css").c_str(), &data);
  ASSERT_NE(find, kInvalidHandle);
  EXPECT_STREQ(data.cFileName, "c.css");
  EXPECT_EQ(data.nFileSizeLow, 3u);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_NORMAL);
  EXPECT_FALSE(files.FindNextFileA(find, &data));
  EXPECT_FALSE(files.CloseHandle(find)) << "a search closes with FindClose";
  EXPECT_TRUE(files.FindClose(find));

  EXPECT_EQ(files.FindFirstFileA(dir.Join("*.none").c_str(), &data), kInvalidHandle);
  EXPECT_EQ(files.FindFirstFileA(dir.Join("x.css").c_str(), &data), kInvalidHandle);
  EXPECT_EQ(files.FindFirstFileA(dir.Join("c.css").c_str(), nullptr), kInvalidHandle);

  WIN32_FIND_DATAW wide{};
  find = files.FindFirstFileExW(Utf8ToWide(dir.Join("c.*")).c_str(), 0, &wide, 0, nullptr, 0);
  ASSERT_NE(find, kInvalidHandle);
  EXPECT_EQ(std::u16string(wide.cFileName), OLESTR("c.css"));
  EXPECT_TRUE(files.FindClose(find));
}

TEST_F(PosixFilesTest, CopyHonoursFailIfExistsAndNeverEatsItsSource) {
  std::string source = dir.Write("src", std::string(200000, 'q'));
  std::string target = dir.Join("dst");
  EXPECT_TRUE(files.CopyFileA(source.c_str(), target.c_str(), kTrue));
  EXPECT_EQ(ReadWholeFile(target), ReadWholeFile(source));
  dir.Write("dst", "keep");
  EXPECT_FALSE(files.CopyFileA(source.c_str(), target.c_str(), kTrue));
  EXPECT_EQ(ReadWholeFile(target), "keep");
  EXPECT_TRUE(files.CopyFileW(Utf8ToWide(source).c_str(), Utf8ToWide(target).c_str(), kFalse));
  EXPECT_EQ(ReadWholeFile(target).size(), 200000u);
  EXPECT_FALSE(files.CopyFileA(source.c_str(), source.c_str(), kFalse));
  EXPECT_EQ(ReadWholeFile(source).size(), 200000u);
  EXPECT_FALSE(files.CopyFileA(dir.Join("none").c_str(), target.c_str(), kFalse));
  EXPECT_FALSE(files.CopyFileA(source.c_str(), dir.Join("no/such/folder").c_str(), kFalse));
  EXPECT_TRUE(files.DeleteFileA(target.c_str()));
  EXPECT_FALSE(files.DeleteFileA(target.c_str()));
}

TEST_F(PosixFilesTest, UnknownHandlesFailQuietly) {
  int local = 0;
  HANDLE stranger = &local;
  DWORD n = 5;
  char c;
  EXPECT_FALSE(files.ReadFile(stranger, &c, 1, &n, nullptr));
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(files.SetFilePointer(stranger, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(files.GetFileSize(stranger, nullptr), INVALID_FILE_SIZE);
  EXPECT_EQ(files.GetFileType(kInvalidHandle), FILE_TYPE_UNKNOWN);
  EXPECT_FALSE(files.CloseHandle(kDatastoreFindHandle));
  WIN32_FIND_DATAA data;
  EXPECT_FALSE(files.FindNextFileA(kDatastoreFindHandle, &data));
}

}  // namespace
}  // namespace lectern
