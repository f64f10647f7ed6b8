#include "book/ebk_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "archive/directory_section.h"
#include "archive/section_cipher.h"
#include "archive/test_books.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;
using testing::TestBook;
using testing::WriteTestBook;

struct ManagerFixture : ::testing::Test {
  void SetUp() override {
    TestBook book;
    book.files = {{"my page.htm", "spaced"}, {"docs/intro.htm", "intro"}, {"media/a.wav", "RIFFdata"}};
    book.raw = {{"media/a.wav", true}};
    path = dir.Join("book.ebk");
    ASSERT_TRUE(WriteTestBook(path, book));
    manager = CEbkManager::Create();
    ASSERT_EQ(manager->Open(Utf8ToWide(path).c_str()), S_OK);
  }
  void TearDown() override {
    if (manager) manager->Release();
  }
  std::string Read(const OLECHAR* p) {
    uint32_t size = 0;
    if (manager->ReadFile(p, nullptr, &size) != S_OK) return "<failed>";
    std::string out(size, '\0');
    if (manager->ReadFile(p, reinterpret_cast<uint8_t*>(out.data()), &size) != S_OK) return "<failed>";
    out.resize(size);
    return out;
  }
  TempDir dir;
  std::string path;
  CEbkManager* manager = nullptr;
};

TEST_F(ManagerFixture, PercentSequencesBecomeOneSpace) {
  EXPECT_EQ(Read(OLESTR("my%20page.htm")), "spaced");
  EXPECT_EQ(Read(OLESTR("my%41page.htm")), "spaced") << "escapes are not decoded";
  EXPECT_EQ(Read(OLESTR("DOCS\\intro.htm")), "intro");
  EXPECT_EQ(Read(OLESTR("missing.htm")), "<failed>");
  EXPECT_EQ(ConvertBookPath(OLESTR("end%")), "end ") << "a '%' at the end takes nothing after it";
  EXPECT_EQ(ConvertBookPath(OLESTR("end%4")), "end ");
  EXPECT_EQ(ConvertBookPath(OLESTR("\u00FCber.htm")), "\xC3\xBC" "ber.htm");
}

TEST_F(ManagerFixture, DirectoryQueriesAndRawCompanions) {
  uint32_t size = 1234;
  EXPECT_EQ(manager->ReadFile(OLESTR("docs"), nullptr, &size), S_OK);
  EXPECT_EQ(size, 1234u);
  uint32_t offset = 0;
  ASSERT_EQ(manager->GetFileInfo(OLESTR("media/a.wav"), &offset, &size), S_OK);
  EXPECT_EQ(size, 8u);
  EXPECT_GT(offset, 44u);
  EXPECT_EQ(manager->GetFileInfo(OLESTR("docs/intro.htm"), &offset, &size), S_FALSE);
  EXPECT_EQ(manager->ReadFile(nullptr, nullptr, &size), S_FALSE);
}

TEST_F(ManagerFixture, OpenHappensOnce) {
  int32_t fd = -2;
  ASSERT_EQ(manager->GetFileHandle(&fd), S_OK);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(manager->Open(OLESTR("/no/such/book")), S_OK) << "an open book is kept";
  int32_t again = -2;
  manager->GetFileHandle(&again);
  EXPECT_EQ(again, fd);
  EXPECT_EQ(manager->Open(nullptr), S_FALSE);

  CEbkManager* fresh = CEbkManager::Create();
  fresh->GetFileHandle(&fd);
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(fresh->Open(OLESTR("/no/such/book")), S_FALSE);
  fresh->Release();
}

TEST_F(ManagerFixture, InterfacesAndPublication) {
  void* object = nullptr;
  EXPECT_EQ(manager->QueryInterface(IID_IEbkManager, &object), S_OK);
  EXPECT_EQ(object, static_cast<IEbkManager*>(manager));
  manager->Release();
  IID other = IID_IEbkManager;
  other.Data1 ^= 1;
  EXPECT_EQ(manager->QueryInterface(other, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);

  IEbkManager* handed = nullptr;
  EXPECT_EQ(GetEBKM(&handed), E_FAIL) << "nothing published";
  PublishEbkManager(manager);
  ASSERT_EQ(GetEBKM(&handed), S_OK);
  EXPECT_EQ(handed, manager);
  EXPECT_EQ(handed->Release(), 1u) << "the reference handed out was an extra one";
  PublishEbkManager(nullptr);
  EXPECT_EQ(GetEBKM(nullptr), E_POINTER);
}

TEST_F(ManagerFixture, SeekToDirectoryAllowsASecondReading) {
  Ebk& book = manager->book();
  int64_t at = book.SeekToDirectory();
  ASSERT_EQ(at, int64_t(book.section_offset(ZPK::kDirectorySection)));
  uint8_t length_bytes[4];
  ASSERT_EQ(::read(book.GetFileHandle(), length_bytes, 4), 4);
  std::vector<uint8_t> body(LoadU32(length_bytes));
  ASSERT_EQ(::read(book.GetFileHandle(), body.data(), body.size()), ssize_t(body.size()));
  ApplySectionCipher(book.identity(), body.data(), body.size());
  FileSystem copy;
  ASSERT_TRUE(LoadDirectoryRecords(body, copy));
  EXPECT_NE(copy.Find("docs/intro.htm", NodeKind::kFile), nullptr);

  Ebk closed;
  EXPECT_EQ(closed.SeekToDirectory(), -1);
}

}  // namespace
}  // namespace lectern
