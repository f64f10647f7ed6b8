#include "browser/navigation_policy.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "archive/test_books.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

TEST(NavigationPolicyTest, OnlyBookDocumentsOnTheListGoOutside) {
  EXPECT_EQ(PolicyTarget("lectern://datastore/docs/Manual.PDF"), "c:/datastore/docs/manual.pdf");
  EXPECT_TRUE(IsExternalDocument(PolicyTarget("lectern://datastore/docs/Manual.PDF")));
  EXPECT_TRUE(IsExternalDocument("c:/datastore/a.tar.gz"));
  EXPECT_FALSE(IsExternalDocument(PolicyTarget("lectern://datastore/docs/page.htm")));
  EXPECT_FALSE(IsExternalDocument(PolicyTarget("lectern://datastore/README")));
  EXPECT_FALSE(IsExternalDocument(PolicyTarget("https://example.org/manual.pdf"))) << "web addresses stay";
  EXPECT_FALSE(IsExternalDocument("file://c:/datastore/x.pdf")) << "the URL form is not the path form";
  EXPECT_FALSE(IsExternalDocument("c:/datastorex/x.pdf"));
  EXPECT_FALSE(IsExternalDocument(PolicyTarget("lectern://datastore/docs.pdf/page")));
}

TEST(NavigationPolicyTest, DocumentsAreCopiedToThePrivateFolder) {
  TempDir dir;
  testing::TestBook book;
  book.files = {{"docs/Manual.pdf", "%PDF-1.4 pretend"}, {"media/song.mp3", "ID3 raw bytes"}};
  book.raw = {{"media/song.mp3", true}};
  ASSERT_TRUE(testing::WriteTestBook(dir.Join("b.ebk"), book));
  CEbkManager* manager = CEbkManager::Create();
  ASSERT_EQ(manager->Open(Utf8ToWide(dir.Join("b.ebk")).c_str()), S_OK);
  std::string temp = dir.Join("tmp");
  testing::WriteWholeFile(temp + "/manual.pdf", "an older copy");

  ExternalDocument pdf = SaveExternalDocument(manager, "c:/datastore/docs/manual.pdf", temp);
  EXPECT_EQ(pdf.error, ExternalDocumentError::kNone);
  EXPECT_EQ(pdf.saved_path, temp + "/manual.pdf");
  EXPECT_EQ(ReadWholeFile(pdf.saved_path), "%PDF-1.4 pretend");
  struct stat copy_state;
  ASSERT_EQ(::stat(pdf.saved_path.c_str(), &copy_state), 0);
  EXPECT_EQ(copy_state.st_mode & 0777, 0600u) << "only this user reads the copy";
  // Something else standing under the name is neither written through nor removed.
  std::string outside = dir.Write("outside.mp3", "precious");
  ASSERT_EQ(::symlink(outside.c_str(), (temp + "/song.mp3").c_str()), 0);
  ExternalDocument planted = SaveExternalDocument(manager, "c:/datastore/media/song.mp3", temp);
  EXPECT_EQ(planted.error, ExternalDocumentError::kCreateFailed);
  EXPECT_EQ(ReadWholeFile(outside), "precious");
  ASSERT_EQ(::unlink((temp + "/song.mp3").c_str()), 0);
  ExternalDocument song = SaveExternalDocument(manager, "c:/datastore/media/song.mp3", temp);
  EXPECT_EQ(ReadWholeFile(song.saved_path), "ID3 raw bytes") << "raw media are copied too";
  EXPECT_EQ(SaveExternalDocument(manager, "c:/datastore/docs/manual.pdf", "").error, ExternalDocumentError::kCreateFailed)
      << "no private folder, no copy";

  ExternalDocument missing = SaveExternalDocument(manager, "c:/datastore/missing.zip", temp);
  EXPECT_EQ(missing.error, ExternalDocumentError::kMissing);
  EXPECT_EQ(missing.message, "File c:/datastore/missing.zip doesn't exist!");
  ExternalDocument no_folder = SaveExternalDocument(manager, "c:/datastore/docs/manual.pdf", dir.Join("none"));
  EXPECT_EQ(no_folder.error, ExternalDocumentError::kCreateFailed);
  EXPECT_EQ(no_folder.message, "Create file c:/datastore/docs/manual.pdf failed!");
  ExternalDocument no_private_folder = SaveExternalDocument(manager, "c:/datastore/docs/manual.pdf", "");
  EXPECT_EQ(no_private_folder.error, ExternalDocumentError::kCreateFailed) << "never a copy at the top of the disk";
  EXPECT_TRUE(no_private_folder.saved_path.empty());
  manager->Release();
}

}  // namespace
}  // namespace lectern
