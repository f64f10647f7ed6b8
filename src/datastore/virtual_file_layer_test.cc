#include "datastore/virtual_file_layer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

#include "archive/test_books.h"
#include "datastore/native_file_functions.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;

std::string Narrow(const OLECHAR* s) {
  return s ? WideToUtf8(WideStringView(s)) : "<null>";
}

// The real functions, with a note of every call that reaches them.
class RecordingFileFunctions final : public FileFunctions {
 public:
  std::vector<std::string> calls;
  HRESULT drag_answer = 0x12345;

  HANDLE CreateFileA(const char* p, DWORD a, DWORD s, SECURITY_ATTRIBUTES* sa, DWORD d, DWORD f, HANDLE t) override {
    Note("CreateFileA", p ? p : "<null>");
    last_create_args = {a, s, d, f};
    return real.CreateFileA(p, a, s, sa, d, f, t);
  }
  HANDLE CreateFileW(const OLECHAR* p, DWORD a, DWORD s, SECURITY_ATTRIBUTES* sa, DWORD d, DWORD f,
                     HANDLE t) override {
    Note("CreateFileW", Narrow(p));
    last_create_args = {a, s, d, f};
    return real.CreateFileW(p, a, s, sa, d, f, t);
  }
  BOOL ReadFile(HANDLE h, void* b, DWORD c, DWORD* r, OVERLAPPED* o) override {
    Note("ReadFile");
    return real.ReadFile(h, b, c, r, o);
  }
  BOOL WriteFile(HANDLE h, const void* b, DWORD c, DWORD* w, OVERLAPPED* o) override {
    Note("WriteFile");
    return real.WriteFile(h, b, c, w, o);
  }
  DWORD SetFilePointer(HANDLE h, LONG d, LONG* hi, DWORD m) override {
    Note("SetFilePointer");
    return real.SetFilePointer(h, d, hi, m);
  }
  DWORD GetFileSize(HANDLE h, DWORD* hi) override {
    Note("GetFileSize");
    return real.GetFileSize(h, hi);
  }
  DWORD GetFileType(HANDLE h) override {
    Note("GetFileType");
    return real.GetFileType(h);
  }
  BOOL CloseHandle(HANDLE h) override {
    Note("CloseHandle");
    return real.CloseHandle(h);
  }
  DWORD GetFileAttributesA(const char* p) override {
    Note("GetFileAttributesA", p ? p : "<null>");
    return real.GetFileAttributesA(p);
  }
  DWORD GetFileAttributesW(const OLECHAR* p) override {
    Note("GetFileAttributesW", Narrow(p));
    return real.GetFileAttributesW(p);
  }
  HANDLE FindFirstFileA(const char* p, WIN32_FIND_DATAA* d) override {
    Note("FindFirstFileA", p ? p : "<null>");
    return real.FindFirstFileA(p, d);
  }
  HANDLE FindFirstFileW(const OLECHAR* p, WIN32_FIND_DATAW* d) override {
    Note("FindFirstFileW", Narrow(p));
    return real.FindFirstFileW(p, d);
  }
  HANDLE FindFirstFileExA(const char* p, FindInfoLevel l, void* d, FindSearchOps s, void* f, DWORD fl) override {
    Note("FindFirstFileExA", p ? p : "<null>");
    return real.FindFirstFileExA(p, l, d, s, f, fl);
  }
  HANDLE FindFirstFileExW(const OLECHAR* p, FindInfoLevel l, void* d, FindSearchOps s, void* f, DWORD fl) override {
    Note("FindFirstFileExW", Narrow(p));
    return real.FindFirstFileExW(p, l, d, s, f, fl);
  }
  BOOL FindNextFileA(HANDLE h, WIN32_FIND_DATAA* d) override {
    Note("FindNextFileA");
    return real.FindNextFileA(h, d);
  }
  BOOL FindNextFileW(HANDLE h, WIN32_FIND_DATAW* d) override {
    Note("FindNextFileW");
    return real.FindNextFileW(h, d);
  }
  BOOL FindClose(HANDLE h) override {
    Note("FindClose");
    return real.FindClose(h);
  }
  BOOL CopyFileA(const char* s, const char* d, BOOL f) override {
    Note("CopyFileA", s ? s : "<null>");
    return real.CopyFileA(s, d, f);
  }
  BOOL CopyFileW(const OLECHAR* s, const OLECHAR* d, BOOL f) override {
    Note("CopyFileW", Narrow(s));
    return real.CopyFileW(s, d, f);
  }
  BOOL DeleteFileA(const char* p) override {
    Note("DeleteFileA", p ? p : "<null>");
    return real.DeleteFileA(p);
  }
  BOOL DeleteFileW(const OLECHAR* p) override {
    Note("DeleteFileW", Narrow(p));
    return real.DeleteFileW(p);
  }
  HRESULT DoDragDrop(void*, void*, DWORD, DWORD*) override {
    Note("DoDragDrop");
    return drag_answer;
  }
  HRESULT CoInternetIsFeatureEnabled(DWORD feature, DWORD) override {
    Note("CoInternetIsFeatureEnabled");
    return feature == 7 ? S_OK : S_FALSE;
  }
  HRESULT CoInternetIsFeatureZoneElevationEnabled(const OLECHAR*, const OLECHAR*, void*, DWORD) override {
    Note("CoInternetIsFeatureZoneElevationEnabled");
    return S_OK;
  }

  bool Saw(const std::string& call) const { return std::find(calls.begin(), calls.end(), call) != calls.end(); }
  std::array<DWORD, 4> last_create_args{};
  NativeFileFunctions real;

 private:
  void Note(const char* name, std::string_view path = {}) {
    std::lock_guard lock(mutex_);
    calls.push_back(path.empty() ? std::string(name) : std::string(name) + ":" + std::string(path));
  }
  std::mutex mutex_;
};

class LayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937 gen(11);
    media.resize(300000);
    for (char& c : media) c = char(gen());
    big.resize(100000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = char('a' + i % 26);
    TestBook book;
    book.files = {{"page.htm", "0123456789"}, {"clip.ogg", media}, {"folder/", ""},   {"empty.txt", ""},
                  {"docs/big.txt", big},      {"my page.htm", "spaced"}};
    book.raw = {{"clip.ogg", true}};
    ASSERT_TRUE(WriteTestBook(dir.Join("b.ebk"), book));
    manager = CEbkManager::Create();
    ASSERT_EQ(manager->Open(Utf8ToWide(dir.Join("b.ebk")).c_str()), S_OK);
    PublishEbkManager(manager);
    layer.Install();
  }
  void TearDown() override {
    layer.Remove();
    PublishEbkManager(nullptr);
    manager->Release();
  }
  HANDLE Open(const char* path, DWORD access = GENERIC_READ, DWORD disposition = OPEN_EXISTING) {
    return layer.CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  std::string ReadAll(HANDLE h, DWORD chunk = 4096) {
    std::string out;
    std::vector<char> buf(chunk);
    for (;;) {
      DWORD n = 0;
      if (!layer.ReadFile(h, buf.data(), chunk, &n, nullptr)) return "<failed>";
      if (n == 0) return out;
      out.append(buf.data(), n);
    }
  }

  TempDir dir;
  std::string media, big;
  CEbkManager* manager = nullptr;
  RecordingFileFunctions real;
  VirtualFileLayer layer{real};
};

TEST_F(LayerTest, OpensReadsAndClosesBookFiles) {
  HANDLE h = Open("c:\\datastore\\page.htm");
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_NE(h, nullptr);
  EXPECT_NE(h, kDatastoreFindHandle);
  EXPECT_EQ(layer.open_stream_count(), 1u);
  DWORD high = 99;
  EXPECT_EQ(layer.GetFileSize(h, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(layer.GetFileType(h), FILE_TYPE_DISK);
  EXPECT_EQ(ReadAll(h, 3), "0123456789");
  EXPECT_TRUE(layer.CloseHandle(h));
  EXPECT_EQ(layer.open_stream_count(), 0u);

  HANDLE w = layer.CreateFileW(OLESTR("C:/DataStore/DOCS/big.txt"), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(w, kInvalidHandle);
  EXPECT_EQ(ReadAll(w), big);
  EXPECT_TRUE(layer.CloseHandle(w));

  HANDLE spaced = Open("c:/datastore/my%20page.htm");
  ASSERT_NE(spaced, kInvalidHandle);
  EXPECT_EQ(ReadAll(spaced), "spaced");
  layer.CloseHandle(spaced);
  EXPECT_TRUE(real.calls.empty()) << "nothing about the datastore reaches the real functions";
}

TEST_F(LayerTest, RawMediaStreamFromTheBookFile) {
  HANDLE h = Open("c:\\datastore\\clip.ogg");
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(layer.GetFileSize(h, nullptr), media.size());
  EXPECT_EQ(ReadAll(h, 65536), media);
  EXPECT_EQ(layer.SetFilePointer(h, 123456, nullptr, FILE_BEGIN), 123456u);
  char buf[100];
  DWORD n = 0;
  ASSERT_TRUE(layer.ReadFile(h, buf, 100, &n, nullptr));
  ASSERT_EQ(n, 100u);
  EXPECT_EQ(std::string(buf, 100), media.substr(123456, 100));
  layer.CloseHandle(h);
}

TEST_F(LayerTest, SeekRules) {
  HANDLE h = Open("c:\\datastore\\page.htm");
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(layer.SetFilePointer(h, 0, nullptr, FILE_END), 10u) << "0 from the end is the length";
  DWORD n = 7;
  char buf[4];
  ASSERT_TRUE(layer.ReadFile(h, buf, 4, &n, nullptr)) << "reading past the end is no failure";
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(layer.SetFilePointer(h, 10, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(layer.SetFilePointer(h, 3, nullptr, FILE_END), 7u) << "the distance counts back";
  EXPECT_EQ(layer.SetFilePointer(h, -1, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER) << "no going back";
  EXPECT_EQ(layer.SetFilePointer(h, 2, nullptr, FILE_CURRENT), 9u);
  EXPECT_EQ(layer.SetFilePointer(h, 1, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  LONG high = 5;
  EXPECT_EQ(layer.SetFilePointer(h, 4, &high, FILE_BEGIN), 4u);
  EXPECT_EQ(high, 5) << "the high part is neither read nor written";
  EXPECT_EQ(layer.SetFilePointer(h, 1, nullptr, 9), 4u) << "an unknown method stays put";
  ASSERT_TRUE(layer.ReadFile(h, buf, 2, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "45");
  EXPECT_FALSE(layer.ReadFile(h, buf, 2, nullptr, nullptr)) << "without a count output nothing is read";
  ASSERT_TRUE(layer.ReadFile(h, buf, 2, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "67");
  layer.CloseHandle(h);
}

TEST_F(LayerTest, WhatCannotBeOpened) {
  EXPECT_EQ(Open("c:\\datastore\\folder"), kInvalidHandle);
  EXPECT_EQ(Open("c:\\datastore"), kInvalidHandle);
  EXPECT_EQ(Open("c:\\datastore\\missing.htm"), kInvalidHandle);
  EXPECT_EQ(Open("c:\\datastore\\empty.txt"), kInvalidHandle) << "zero length and nothing raw";
  EXPECT_EQ(Open("c:\\datastore\\..\\..\\etc\\passwd"), kInvalidHandle);
  EXPECT_EQ(Open("c:\\datastore..\\page.htm"), kInvalidHandle);
  EXPECT_EQ(layer.open_stream_count(), 0u);
  EXPECT_TRUE(real.calls.empty());
}

TEST_F(LayerTest, OddPathsResolveInsideTheBook) {
  HANDLE h = Open("c:\\datastore\\\\docs\\.\\..\\folder\\..\\page.htm");
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_EQ(ReadAll(h), "0123456789");
  layer.CloseHandle(h);
}

TEST_F(LayerTest, WritingOpensReadOnlyAndTheWriteFailsInTheRealFunction) {
  HANDLE h = Open("c:\\datastore\\page.htm", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(h, kInvalidHandle);
  DWORD n = 0;
  EXPECT_FALSE(layer.WriteFile(h, "xx", 2, &n, nullptr));
  EXPECT_TRUE(real.Saw("WriteFile"));
  EXPECT_EQ(ReadAll(h), "0123456789");
  layer.CloseHandle(h);
  h = Open("c:\\datastore\\page.htm");
  EXPECT_EQ(ReadAll(h), "0123456789") << "the book is unchanged";
  layer.CloseHandle(h);
}

TEST_F(LayerTest, EverythingElsePassesThrough) {
  std::string path = dir.Write("plain.txt", "on disk");
  HANDLE h = layer.CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0x80, nullptr);
  ASSERT_NE(h, kInvalidHandle);
  EXPECT_TRUE(real.Saw("CreateFileA:" + path));
  EXPECT_EQ(real.last_create_args, (std::array<DWORD, 4>{GENERIC_READ, FILE_SHARE_WRITE, OPEN_EXISTING, 0x80}));
  EXPECT_EQ(layer.GetFileSize(h, nullptr), 7u);
  EXPECT_EQ(layer.GetFileType(h), FILE_TYPE_DISK);
  EXPECT_EQ(layer.SetFilePointer(h, 3, nullptr, FILE_BEGIN), 3u);
  EXPECT_EQ(ReadAll(h), "disk");
  EXPECT_TRUE(layer.CloseHandle(h));
  for (const char* call : {"GetFileSize", "GetFileType", "SetFilePointer", "ReadFile", "CloseHandle"})
    EXPECT_TRUE(real.Saw(call)) << call;

  HANDLE w = layer.CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_TRUE(real.Saw("CreateFileW:" + path));
  layer.CloseHandle(w);
  EXPECT_EQ(layer.GetFileAttributesA(path.c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(layer.GetFileAttributesW(Utf8ToWide(dir.path()).c_str()), FILE_ATTRIBUTE_DIRECTORY);
  WIN32_FIND_DATAA data{};
  HANDLE find = layer.FindFirstFileA(path.c_str(), &data);
  ASSERT_NE(find, kInvalidHandle);
  EXPECT_STREQ(data.cFileName, "plain.txt");
  EXPECT_TRUE(layer.FindClose(find));
  EXPECT_TRUE(real.Saw("FindClose"));
  EXPECT_EQ(layer.CreateFileA(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr), kInvalidHandle);

  int stranger = 0;
  EXPECT_FALSE(layer.CloseHandle(&stranger)) << "an unknown handle is the real function's to refuse";
}

TEST_F(LayerTest, AttributesOfBookPaths) {
  EXPECT_EQ(layer.GetFileAttributesA("c:\\datastore"), 0xA0u);
  EXPECT_EQ(layer.GetFileAttributesA("c:\\datastore\\page.htm"), 0xA0u);
  EXPECT_EQ(layer.GetFileAttributesW(OLESTR("c:/datastore/folder")), 0xA0u);
  EXPECT_TRUE(real.calls.empty());
  EXPECT_EQ(layer.GetFileAttributesA("c:\\datastore\\missing.htm"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(real.Saw("GetFileAttributesA:c:\\datastore\\missing.htm")) << "a missing book file is passed on";
  real.calls.clear();
  EXPECT_EQ(layer.GetFileAttributesA("c:\\datastore\\..\\Windows\\win.ini"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(real.calls.empty()) << "a name climbing out of the datastore goes nowhere";
}

TEST_F(LayerTest, FindFirstOnBookPaths) {
  WIN32_FIND_DATAA data;
  std::memset(&data, 0x5A, sizeof data);
  HANDLE find = layer.FindFirstFileA("c:\\datastore", &data);
  EXPECT_EQ(find, kDatastoreFindHandle);
  EXPECT_EQ(data.dwFileAttributes, 0x10u);
  EXPECT_EQ(data.nFileSizeLow, 0u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_STREQ(data.cFileName, "datastore");
  EXPECT_EQ(data.dwReserved0, 0x5A5A5A5Au) << "other fields stay as supplied";
  EXPECT_EQ(data.cAlternateFileName[0], 0x5A);

  find = layer.FindFirstFileA("C:/datastore/DOCS/big.txt", &data);
  EXPECT_EQ(find, kDatastoreFindHandle);
  EXPECT_EQ(data.dwFileAttributes, 0xA1u);
  EXPECT_EQ(data.nFileSizeLow, big.size());
  EXPECT_STREQ(data.cFileName, "big.txt") << "the name as the caller wrote it";
  FILETIME now = CurrentFileTime();
  uint64_t stamp = uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32 | data.ftLastWriteTime.dwLowDateTime;
  uint64_t later = uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  EXPECT_LE(stamp, later);
  EXPECT_GT(stamp + 600'000'000ull, later) << "stamped with the current time";
  EXPECT_EQ(data.ftCreationTime.dwLowDateTime, data.ftLastWriteTime.dwLowDateTime);

  find = layer.FindFirstFileA("c:\\datastore\\clip.ogg", &data);
  EXPECT_EQ(data.dwFileAttributes, 0xA1u) << "raw media are files";
  EXPECT_EQ(data.nFileSizeLow, media.size());

  WIN32_FIND_DATAW wide{};
  EXPECT_EQ(layer.FindFirstFileW(OLESTR("c:\\datastore\\page.htm"), &wide), kDatastoreFindHandle);
  EXPECT_EQ(WideString(wide.cFileName), OLESTR("page.htm"));
  EXPECT_EQ(wide.nFileSizeLow, 10u);

  EXPECT_TRUE(real.calls.empty());
  EXPECT_TRUE(layer.FindClose(kDatastoreFindHandle));
  EXPECT_FALSE(layer.FindNextFileA(kDatastoreFindHandle, &data)) << "find-next is the real function's";
  EXPECT_TRUE(real.Saw("FindNextFileA"));
  EXPECT_FALSE(real.Saw("FindClose"));

  EXPECT_EQ(layer.FindFirstFileA("c:\\datastore\\*.htm", &data), kInvalidHandle);
  EXPECT_TRUE(real.Saw("FindFirstFileA:c:\\datastore\\*.htm")) << "wildcards find nothing here";
}

TEST_F(LayerTest, ExtendedFindFirst) {
  EXPECT_EQ(layer.FindFirstFileExA("c:\\datastore\\page.htm", FindInfoLevel(0), nullptr, FindSearchOps(0), nullptr, 0), kDatastoreFindHandle);
  WIN32_FIND_DATAW wide{};
  EXPECT_EQ(layer.FindFirstFileExW(OLESTR("c:\\datastore\\folder"), FindInfoLevel(1), &wide, FindSearchOps(1), nullptr, 2), kDatastoreFindHandle);
  EXPECT_EQ(wide.dwFileAttributes, 0x10u);
  EXPECT_EQ(WideString(wide.cFileName), OLESTR("folder"));
  EXPECT_TRUE(real.calls.empty());
  std::string path = dir.Write("x.txt", "1");
  WIN32_FIND_DATAA data{};
  HANDLE find = layer.FindFirstFileExA(path.c_str(), FindInfoLevel(0), &data, FindSearchOps(0), nullptr, 0);
  ASSERT_NE(find, kInvalidHandle);
  EXPECT_TRUE(real.Saw("FindFirstFileExA:" + path));
  EXPECT_TRUE(layer.FindClose(find));
}

TEST_F(LayerTest, CopiesBookFilesToDisk) {
  std::string target = dir.Join("out.txt");
  EXPECT_TRUE(layer.CopyFileA("c:\\datastore\\docs\\big.txt", target.c_str(), kFalse));
  EXPECT_EQ(ReadWholeFile(target), big);
  std::string clip = dir.Join("clip.ogg");
  EXPECT_TRUE(layer.CopyFileW(OLESTR("c:/datastore/clip.ogg"), Utf8ToWide(clip).c_str(), kTrue));
  EXPECT_EQ(ReadWholeFile(clip), media) << "raw media copy in chunks, unmasked";
  EXPECT_FALSE(real.Saw("CopyFileA:c:\\datastore\\docs\\big.txt"));
  EXPECT_TRUE(real.Saw("CreateFileA:" + target));
  EXPECT_EQ(real.last_create_args,
            (std::array<DWORD, 4>{GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL}));

  dir.Write("keep.txt", "keep");
  EXPECT_FALSE(layer.CopyFileA("c:\\datastore\\page.htm", dir.Join("keep.txt").c_str(), kTrue));
  EXPECT_EQ(ReadWholeFile(dir.Join("keep.txt")), "keep");
  EXPECT_TRUE(layer.CopyFileA("c:\\datastore\\page.htm", dir.Join("keep.txt").c_str(), kFalse));
  EXPECT_EQ(ReadWholeFile(dir.Join("keep.txt")), "0123456789");
}

TEST_F(LayerTest, CopyRefusalsAndPassThrough) {
  std::string disk = dir.Write("disk.txt", "disk");
  EXPECT_TRUE(layer.CopyFileA(disk.c_str(), dir.Join("disk2.txt").c_str(), kTrue));
  EXPECT_TRUE(real.Saw("CopyFileA:" + disk));
  EXPECT_EQ(ReadWholeFile(dir.Join("disk2.txt")), "disk");
  EXPECT_FALSE(layer.CopyFileA(disk.c_str(), dir.Join("disk2.txt").c_str(), kTrue)) << "fail-if-exists for all";

  real.calls.clear();
  EXPECT_FALSE(layer.CopyFileA("c:\\datastore\\missing.htm", dir.Join("m.txt").c_str(), kFalse));
  EXPECT_TRUE(real.Saw("CopyFileA:c:\\datastore\\missing.htm"));
  EXPECT_FALSE(layer.CopyFileA("c:\\datastore\\folder", dir.Join("f.txt").c_str(), kFalse));
  EXPECT_FALSE(layer.CopyFileA("c:\\datastore\\page.htm", "c:\\datastore\\copy.htm", kFalse));
  EXPECT_FALSE(layer.CopyFileA("c:\\datastore\\page.htm", dir.Join("no/such/dir/x").c_str(), kFalse));
  real.calls.clear();
  EXPECT_FALSE(layer.CopyFileA("c:\\datastore\\..\\secret", dir.Join("s.txt").c_str(), kFalse));
  EXPECT_FALSE(real.Saw("CopyFileA:c:\\datastore\\..\\secret"));
  EXPECT_FALSE(std::filesystem::exists(dir.Join("f.txt")));
}

TEST_F(LayerTest, DragGateAndFeatureAnswers) {
  SetDragCopyAllowed(false);
  EXPECT_EQ(layer.DoDragDrop(nullptr, nullptr, 1, nullptr), DRAGDROP_S_CANCEL);
  EXPECT_FALSE(real.Saw("DoDragDrop"));
  SetDragCopyAllowed(true);
  EXPECT_EQ(layer.DoDragDrop(nullptr, nullptr, 1, nullptr), real.drag_answer);
  SetDragCopyAllowed(false);

  EXPECT_EQ(layer.CoInternetIsFeatureEnabled(1, 2), S_OK);
  EXPECT_EQ(layer.CoInternetIsFeatureEnabled(3, 2), S_FALSE);
  EXPECT_EQ(layer.CoInternetIsFeatureEnabled(7, 2), S_OK);
  EXPECT_EQ(layer.CoInternetIsFeatureZoneElevationEnabled(OLESTR("a"), OLESTR("b"), nullptr, 0), S_FALSE);
  EXPECT_FALSE(real.Saw("CoInternetIsFeatureZoneElevationEnabled"));
}

TEST_F(LayerTest, FixedAnswersAfterRemoval) {
  HANDLE open = Open("c:\\datastore\\page.htm");
  ASSERT_NE(open, kInvalidHandle);
  std::string disk = dir.Write("d.txt", "x");
  layer.Remove();
  EXPECT_FALSE(layer.installed());
  real.calls.clear();
  EXPECT_EQ(Open("c:\\datastore\\page.htm"), kInvalidHandle);
  EXPECT_EQ(Open(disk.c_str()), kInvalidHandle);
  char buf[4];
  DWORD n = 0;
  EXPECT_FALSE(layer.ReadFile(open, buf, 4, &n, nullptr));
  EXPECT_EQ(layer.SetFilePointer(open, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(layer.GetFileSize(open, nullptr), 0u);
  EXPECT_EQ(layer.GetFileType(open), FILE_TYPE_DISK);
  EXPECT_EQ(layer.GetFileAttributesA(disk.c_str()), 0u);
  WIN32_FIND_DATAA data{};
  EXPECT_EQ(layer.FindFirstFileA("c:\\datastore", &data), kInvalidHandle);
  EXPECT_EQ(layer.FindFirstFileExA("c:\\datastore", FindInfoLevel(0), &data, FindSearchOps(0), nullptr, 0), kInvalidHandle);
  EXPECT_FALSE(layer.FindClose(kDatastoreFindHandle));
  EXPECT_FALSE(layer.CopyFileA(disk.c_str(), dir.Join("e.txt").c_str(), kFalse));
  int any = 0;
  EXPECT_TRUE(layer.CloseHandle(&any));
  EXPECT_TRUE(layer.CloseHandle(open));
  EXPECT_TRUE(real.calls.empty()) << "nothing is passed on once removed";

  layer.Install();
  EXPECT_EQ(layer.ReadFile(open, buf, 4, &n, nullptr), kFalse) << "old handles are not revived";
  EXPECT_TRUE(real.Saw("ReadFile"));
}

TEST_F(LayerTest, WithoutABookDatastoreCallsFail) {
  PublishEbkManager(nullptr);
  EXPECT_EQ(Open("c:\\datastore\\page.htm"), kInvalidHandle);
  EXPECT_EQ(layer.GetFileAttributesA("c:\\datastore\\page.htm"), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(real.Saw("GetFileAttributesA:c:\\datastore\\page.htm"));
  EXPECT_EQ(layer.GetFileAttributesA("c:\\datastore"), 0xA0u) << "the root needs no book";
}

TEST_F(LayerTest, ConcurrentOpensAndReads) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 gen(t);
      for (int round = 0; round < 40; ++round) {
        bool raw = (round + t) % 2 == 0;
        const char* path = raw ? "c:\\datastore\\clip.ogg" : "c:\\datastore\\docs\\big.txt";
        const std::string& expected = raw ? media : big;
        HANDLE h = Open(path);
        if (h == kInvalidHandle) {
          ++failures;
          continue;
        }
        DWORD at = gen() % DWORD(expected.size() - 1000);
        char buf[1000];
        DWORD n = 0;
        if (layer.SetFilePointer(h, LONG(at), nullptr, FILE_BEGIN) != at || !layer.ReadFile(h, buf, 1000, &n, nullptr) ||
            std::string(buf, n) != expected.substr(at, 1000))
          ++failures;
        if (!layer.CloseHandle(h)) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(layer.open_stream_count(), 0u);
}

TEST_F(LayerTest, TwoOpensKeepTheirOwnPositions) {
  HANDLE a = Open("c:\\datastore\\page.htm");
  HANDLE b = Open("c:\\datastore\\page.htm");
  ASSERT_NE(a, b);
  layer.SetFilePointer(a, 5, nullptr, FILE_BEGIN);
  EXPECT_EQ(ReadAll(b), "0123456789");
  EXPECT_EQ(ReadAll(a), "56789");
  layer.CloseHandle(a);
  layer.CloseHandle(b);
}

TEST(ProcessInterceptionTest, InstallAndRemove) {
  RemoveFileInterception();
  EXPECT_FALSE(FileInterception().installed());
  EXPECT_EQ(FileInterception().CreateFileA("/dev/null", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            kInvalidHandle);
  InstallFileInterception();
  EXPECT_TRUE(FileInterception().installed());
  HANDLE h = FileInterception().CreateFileA("/dev/null", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, kInvalidHandle) << "the process layer passes on to the real functions";
  EXPECT_EQ(FileInterception().GetFileType(h), FILE_TYPE_CHAR);
  EXPECT_TRUE(FileInterception().CloseHandle(h));
  RemoveFileInterception();
}

}  // namespace
}  // namespace lectern
