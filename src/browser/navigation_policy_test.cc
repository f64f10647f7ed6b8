#include "browser/navigation_policy.h"

#include <gtest/gtest.h>

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

TEST(NavigationPolicyTest, DocumentsAreCopiedToTheTemporaryFolder) {
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
  ExternalDocument song = SaveExternalDocument(manager, "c:/datastore/media/song.mp3", temp);
  EXPECT_EQ(ReadWholeFile(song.saved_path), "ID3 raw bytes") << "raw media are copied too";

  ExternalDocument missing = SaveExternalDocument(manager, "c:/datastore/missing.zip", temp);
  EXPECT_EQ(missing.error, ExternalDocumentError::kMissing);
  EXPECT_EQ(missing.message, "File c:/datastore/missing.zip doesn't exist!");
  ExternalDocument no_folder = SaveExternalDocument(manager, "c:/datastore/docs/manual.pdf", dir.Join("none"));
  EXPECT_EQ(no_folder.error, ExternalDocumentError::kCreateFailed);
  EXPECT_EQ(no_folder.message, "Create file c:/datastore/docs/manual.pdf failed!");
  manager->Release();
}

}  // namespace
}  // namespace lectern
