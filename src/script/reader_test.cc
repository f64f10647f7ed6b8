#include "script/reader.h"

#include "platform/user_folders.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif
#include <filesystem>

#include "archive/test_books.h"
#include "platform/message_box.h"
#include "script/dispatch_testing.h"
#include "script/fake_reader_frame.h"
#include "script/menu_obj.h"
#include "tests/support/environment.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::Call;
using testing::CallByName;
using testing::FakeReaderFrame;
using testing::IdOf;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::TestBook;
using testing::Var;
using testing::WriteWholeFile;

class ReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestBook book;
    book.settings = {{"guid", "abc"}, {"bookname", "The Book"}};
    book.files["docs/a.txt"] = "stored text";
    book.files["docs/b.txt"] = "more text";
    book.files["media/clip.mpg"] = std::string(70000, 'm');
    book.raw["media/clip.mpg"] = true;
    book.files["odd\x01name.txt"] = "odd";
    std::string error;
    ASSERT_TRUE(testing::WriteTestBook(dir_.Join("book.ebk"), book, &error)) << error;
    manager_ = CEbkManager::Create();
    ASSERT_EQ(manager_->Open(Utf8ToWide(dir_.Join("book.ebk")).c_str()), S_OK);
    frame_.manager = manager_;
    frame_.home_url = "file://c:/datastore/index.htm";
    std::filesystem::create_directory(temp_);
    environment_.Set(testing::kTemporaryFolderVariable, temp_.c_str());
    // Copies for script go to the private folder, here the one beside the book's working folder.
    environment_.Set("XDG_RUNTIME_DIR", nullptr);
    SetPrivateFilesFallback(temp_);
    folder_ = PrivateFilesFolder();
    ASSERT_FALSE(folder_.empty());
  }
  void TearDown() override {
    SetPrivateFilesFallback("");
    reader_->Release();
    manager_->Release();
  }
  std::vector<std::string>& calls() { return frame_.calls; }
  std::string InFolder(std::string_view name) const { return folder_ + kPathSeparator + std::string(name); }

  TempDir dir_;
  std::string temp_ = dir_.Join("tmp");
  FakeReaderFrame frame_;
  CEbkManager* manager_ = nullptr;
  int lists_made_ = 0;
  CReader* reader_ = CReader::Create(&frame_, [this]() -> IDispatch* {
    ++lists_made_;
    return CMenuObj::Create(nullptr);  // any object stands in for the list here
  });
  testing::ScopedEnvironment environment_;
  std::string folder_;
};

TEST_F(ReaderTest, VisibleReadsAndShowsTheWindow) {
  EXPECT_EQ(CallByName(reader_, OLESTR("visible"), {}, DISPATCH_PROPERTYGET).value->boolVal, VARIANT_TRUE);
  EXPECT_EQ(CallByName(reader_, OLESTR("visible"), {Var::Bool(false)}, DISPATCH_PROPERTYPUT).hr, S_OK);
  EXPECT_EQ(calls(), (std::vector<std::string>{"hide"}));
  EXPECT_EQ(CallByName(reader_, OLESTR("visible"), {}, DISPATCH_PROPERTYGET).value->boolVal, VARIANT_FALSE);
  CallByName(reader_, OLESTR("visible"), {Var::I4(1)}, DISPATCH_PROPERTYPUT);
  EXPECT_TRUE(frame_.visible);
  frame_.has_window = false;
  EXPECT_EQ(CallByName(reader_, OLESTR("visible"), {}, DISPATCH_PROPERTYGET).value->boolVal, VARIANT_FALSE);
  CallByName(reader_, OLESTR("visible"), {Var::Bool(false)}, DISPATCH_PROPERTYPUT);
  EXPECT_TRUE(frame_.visible);  // no window: nothing happens
}

TEST_F(ReaderTest, BookQueries) {
  EXPECT_EQ(CallByName(reader_, OLESTR("startPage"), {}, DISPATCH_PROPERTYGET).value.text(), "file://c:/datastore/index.htm");
  EXPECT_EQ(CallByName(reader_, OLESTR("id"), {}, DISPATCH_PROPERTYGET).value.text(), "abc");
  EXPECT_EQ(CallByName(reader_, OLESTR("getConfig"), {Var::Str("guid")}).value.text(), "abc");
  EXPECT_EQ(CallByName(reader_, OLESTR("getConfig"), {Var::Str("bookname")}).value.text(), "The Book");
  EXPECT_EQ(CallByName(reader_, OLESTR("getConfig"), {Var::Str("BOOKNAME")}).value.text(), "");
  EXPECT_EQ(CallByName(reader_, OLESTR("getConfig"), {Var::Str("")}).value.text(), "");
  EXPECT_EQ(CallByName(reader_, OLESTR("getConfig"), {Var::Null()}).value.text(), "");
  EXPECT_EQ(CallByName(reader_, OLESTR("registryRoot"), {}, DISPATCH_PROPERTYGET).value.text(),
            "clsid\\{a9993e36-4706-816a-ba3e-25717850c26c}");
  EXPECT_EQ(CallByName(reader_, OLESTR("tocEnabled"), {}, DISPATCH_PROPERTYGET).value->boolVal, VARIANT_FALSE);
  for (const OLECHAR* name : {OLESTR("title"), OLESTR("author"), OLESTR("homepage"), OLESTR("email"), OLESTR("copyright"), OLESTR("otherinfo")}) {
    auto r = CallByName(reader_, name, {}, DISPATCH_PROPERTYGET);
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_EQ(r.value.text(), "");  // a valid, empty string
  }
  EXPECT_EQ(CallByName(reader_, OLESTR("getPageURL"), {Var::Str("x")}).value.text(), "");
  auto splitter = CallByName(reader_, OLESTR("startupSplitter"),
                             {Var::I4(1), Var::I4(2), Var::I4(3), Var::I4(4), Var::I4(5), Var::I4(6), Var::I4(7)});
  EXPECT_EQ(splitter.value->vt, VT_I4);
  EXPECT_EQ(splitter.value->lVal, 0);
  EXPECT_EQ(CallByName(reader_, OLESTR("startupSplitter"), {Var::I4(1)}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_TRUE(calls().empty());
}

TEST(RegistryRootTest, DigestNamesTheRoot) {
  EXPECT_EQ(RegistryRootName(""), "");
  std::string root = RegistryRootName("0123456789ABCDEF0123456789ABCDEF");
  ASSERT_EQ(root.size(), 7u + 36u + 1u);
  EXPECT_EQ(root.substr(0, 7), "clsid\\{");
  EXPECT_EQ(root[15], '-');
  EXPECT_EQ(root.find_first_not_of("0123456789abcdef-", 7), root.size() - 1);
}

TEST_F(ReaderTest, EmptyGuidGivesEmptyIdAndARootFromTheBooksOwnIdentity) {
  FakeReaderFrame bare;  // no book: every setting is empty
  CReader* reader = CReader::Create(&bare);
  EXPECT_EQ(CallByName(reader, OLESTR("registryRoot"), {}, DISPATCH_PROPERTYGET).value.text(), "");
  EXPECT_EQ(CallByName(reader, OLESTR("id"), {}, DISPATCH_PROPERTYGET).value.text(), "");
  // A book without a guid stores its lists under its own identity, never under a shared root.
  bare.fallback_identity = "0123456789abcdef0123456789abcdef";
  EXPECT_EQ(CallByName(reader, OLESTR("registryRoot"), {}, DISPATCH_PROPERTYGET).value.text(),
            RegistryRootName("0123456789abcdef0123456789abcdef"));
  EXPECT_EQ(CallByName(reader, OLESTR("id"), {}, DISPATCH_PROPERTYGET).value.text(), "");
  EXPECT_EQ(CallByName(reader, OLESTR("extract"), {Var::Str("docs/a.txt"), Var::Bool(false)}).value.text(), "");
  reader->Release();
}

TEST_F(ReaderTest, ShowMessage) {
  EXPECT_EQ(CallByName(reader_, OLESTR("showMessage"), {Var::Str("only text")}).hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(reader_, OLESTR("showMessage"), {Var::Str("Hello"), Var::Null()}).hr, S_OK);
  EXPECT_EQ(CallByName(reader_, OLESTR("showMessage"), {Var::Str("Hi"), Var::Str("Cap")}).hr, S_OK);
  EXPECT_EQ(CallByName(reader_, OLESTR("showMessage"), {Var::Null(), Var::Str("Cap")}).hr, S_OK);  // no text: nothing
  EXPECT_EQ(calls(), (std::vector<std::string>{"message Hello|Lectern|64", "message Hi|Cap|64"}));
  // Without a frame the platform's message box is used.
  static std::string shown;
  auto previous = SetMessageBoxHandler([](void*, std::string_view text, std::string_view caption, unsigned) {
    shown = std::string(text) + "|" + std::string(caption);
    return int(kIdOk);
  });
  reader_->SetFrame(nullptr);
  CallByName(reader_, OLESTR("showMessage"), {Var::Str("t"), Var::Str("c")});
  EXPECT_EQ(shown, "t|c");
  SetMessageBoxHandler(previous);
}

TEST_F(ReaderTest, CommandsAndViewOperations) {
  for (const OLECHAR* name : {OLESTR("quit"), OLESTR("goHome"), OLESTR("back"), OLESTR("forward"), OLESTR("stop"), OLESTR("showContentsPane"),
                               OLESTR("showBookmarkPane"), OLESTR("showSearchPane"), OLESTR("print"), OLESTR("refresh"), OLESTR("fullscreen")})
    EXPECT_EQ(CallByName(reader_, name).hr, S_OK);
  EXPECT_EQ(CallByName(reader_, OLESTR("set_textsize"), {Var::I4(-1)}).hr, S_OK);
  EXPECT_EQ(calls(), (std::vector<std::string>{"close", "command 3004", "back", "forward", "stop", "command 3016",
                                               "command 3006", "command 3005", "command 3007", "refresh",
                                               "command 3014", "textsize -1"}));
  calls().clear();
  frame_.has_window = false;
  for (const OLECHAR* name : {OLESTR("quit"), OLESTR("goHome"), OLESTR("back"), OLESTR("refresh"), OLESTR("fullscreen")}) CallByName(reader_, name);
  CallByName(reader_, OLESTR("set_textsize"), {Var::I4(2)});
  EXPECT_TRUE(calls().empty());
}

TEST_F(ReaderTest, Refresh2AndObjects) {
  EXPECT_EQ(CallByName(reader_, OLESTR("refresh2"), {Var::Null()}).hr, S_OK);
  EXPECT_TRUE(calls().empty());
  CMenuObj* page_object = CMenuObj::Create(nullptr);
  EXPECT_EQ(CallByName(reader_, OLESTR("refresh2"), {Var::Dispatch(page_object)}).hr, S_OK);
  EXPECT_EQ(frame_.refreshed, static_cast<IDispatch*>(page_object));
  EXPECT_EQ(CallByName(reader_, OLESTR("refresh2"), {Var::I4(3)}).hr, DISP_E_TYPEMISMATCH);
  page_object->Release();

  auto list = CallByName(reader_, OLESTR("createObject"), {Var::Str("vellum.std.list")});
  EXPECT_EQ(list.value->vt, VT_DISPATCH);
  EXPECT_NE(list.value->pdispVal, nullptr);
  EXPECT_EQ(lists_made_, 1);
  for (const char* other : {"Vellum.Std.List", "", "Scripting.FileSystemObject"}) {
    auto none = CallByName(reader_, OLESTR("createObject"), {Var::Str(other)});
    EXPECT_EQ(none.hr, S_OK);
    EXPECT_EQ(none.value->pdispVal, nullptr) << other;
  }
  EXPECT_EQ(CallByName(reader_, OLESTR("createObject"), {Var::Null()}).value->pdispVal, nullptr);
  EXPECT_EQ(lists_made_, 1);

  auto menu1 = CallByName(reader_, OLESTR("getMenuObj"));
  auto menu2 = CallByName(reader_, OLESTR("getMenuObj"));
  ASSERT_NE(menu1.value->pdispVal, nullptr);
  EXPECT_NE(menu1.value->pdispVal, menu2.value->pdispVal);
  // The menu reaches the frame through the reader's link, and loses it with the reader's.
  IDispatch* menu = menu1.value->pdispVal;
  CallByName(menu, OLESTR("append"), {Var::Str("Item"), Var::I4(5)});
  frame_.chosen_command = 5;
  EXPECT_EQ(CallByName(menu, OLESTR("trackPopup"), {Var::I4(1), Var::I4(2)}).value->lVal, 5);
  reader_->SetFrame(nullptr);
  EXPECT_EQ(CallByName(menu, OLESTR("trackPopup"), {Var::I4(1), Var::I4(2)}).value->lVal, 0);
}

TEST_F(ReaderTest, ExtractCopiesOnceUnlessOverwriting) {
  std::string target = InFolder("a.txt");
  auto first = CallByName(reader_, OLESTR("extract"), {Var::Str("docs/a.txt"), Var::Bool(false)});
  ASSERT_EQ(first.hr, S_OK);
  EXPECT_EQ(first.value.text(), target);
  EXPECT_EQ(ReadWholeFile(target), "stored text");
  WriteWholeFile(target, "changed on disk");
  EXPECT_EQ(CallByName(reader_, OLESTR("extract"), {Var::Str("\\docs\\a.txt"), Var::Bool(false)}).value.text(), target);
  EXPECT_EQ(ReadWholeFile(target), "changed on disk");
  EXPECT_EQ(CallByName(reader_, OLESTR("extract"), {Var::Str("/docs/a.txt"), Var::Str("true")}).value.text(), target);
  EXPECT_EQ(ReadWholeFile(target), "stored text");
  // Raw media are copied whole from the book file.
  EXPECT_EQ(CallByName(reader_, OLESTR("extract"), {Var::Str("media/clip.mpg"), Var::Bool(true)}).value.text(),
            InFolder("clip.mpg"));
  EXPECT_EQ(ReadWholeFile(InFolder("clip.mpg")), std::string(70000, 'm'));
  EXPECT_EQ(CallByName(reader_, OLESTR("extract"), {Var::Str("missing.txt"), Var::Bool(true)}).value.text(), "");
  EXPECT_EQ(CallByName(reader_, OLESTR("extract"), {Var::Str("")}).hr, DISP_E_BADPARAMCOUNT);
}

TEST_F(ReaderTest, ExtractNeverWritesOutsideTheFolder) {
  // Names are sanitised: only the last element, no "..", no control characters.
  std::string odd = CallByName(reader_, OLESTR("extract"), {Var::Str("odd\x01name.txt"), Var::Bool(true)}).value.text();
  EXPECT_EQ(odd, InFolder("odd_name.txt"));
  EXPECT_EQ(ExtractBookFile(manager_, OLESTR("docs/.."), true, folder_), "");
  EXPECT_EQ(ExtractBookFile(manager_, OLESTR("docs/"), true, folder_), "");
#ifndef _WIN32
  // A link planted under the name is neither followed, nor removed, nor handed out as the copy.
  std::string outside = dir_.Join("outside.txt");
  WriteWholeFile(outside, "precious");
  ASSERT_EQ(symlink(outside.c_str(), InFolder("a.txt").c_str()), 0);
  EXPECT_EQ(ExtractBookFile(manager_, OLESTR("docs/a.txt"), true, folder_), "");
  EXPECT_EQ(ExtractBookFile(manager_, OLESTR("docs/a.txt"), false, folder_), "");
  EXPECT_EQ(ReadWholeFile(outside), "precious");
  struct stat link_state;
  EXPECT_EQ(::lstat(InFolder("a.txt").c_str(), &link_state), 0);
  EXPECT_TRUE(S_ISLNK(link_state.st_mode));
  // The copy is new, and only this user reads it.
  EXPECT_EQ(ExtractBookFile(manager_, OLESTR("docs/b.txt"), true, folder_), InFolder("b.txt"));
  struct stat copy_state;
  ASSERT_EQ(::stat(InFolder("b.txt").c_str(), &copy_state), 0);
  EXPECT_EQ(copy_state.st_mode & 0777, 0600u);
  struct stat folder_state;
  ASSERT_EQ(::stat(folder_.c_str(), &folder_state), 0);
  EXPECT_EQ(folder_state.st_mode & 0777, 0700u);
#endif
  // A folder that cannot be written gives the empty string.
  EXPECT_EQ(ExtractBookFile(manager_, OLESTR("docs/a.txt"), true, dir_.Join("no/such/folder")), "");
  EXPECT_EQ(ExtractBookFile(nullptr, OLESTR("docs/a.txt"), true, folder_), "");
}

TEST_F(ReaderTest, EveryMemberIsFoundByNameWithItsId) {
  struct Expected {
    const OLECHAR* name;
    DISPID id;
  };
  for (Expected e : {Expected{OLESTR("visible"), 0xA0000}, {OLESTR("startPage"), 0xA0001}, {OLESTR("id"), 0xA0002}, {OLESTR("title"), 0xA0003},
                     {OLESTR("otherinfo"), 0xA0008}, {OLESTR("tocEnabled"), 0xA0009}, {OLESTR("registryRoot"), 0xB0000},
                     {OLESTR("showMessage"), 0xF0001}, {OLESTR("getMenuObj"), 0xF0007}, {OLESTR("refresh2"), 0xF0009},
                     {OLESTR("extract"), 0xF0013}, {OLESTR("set_textsize"), 0xF0014}, {OLESTR("fullscreen"), 0xF0015},
                     {OLESTR("FULLSCREEN"), 0xF0015}})
    EXPECT_EQ(IdOf(reader_, e.name), e.id);
  EXPECT_EQ(IdOf(reader_, OLESTR("noSuchMember")), DISPID_UNKNOWN);
  EXPECT_EQ(Call(reader_, 0xF0008, DISPATCH_METHOD, {}).hr, DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace lectern
