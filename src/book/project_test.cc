#include "book/project.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;

constexpr char kProject[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ebook_project>
  <config>
    <title>Guide &amp; Manual</title>
    <ebook_directory>pages</ebook_directory>
    <ebook_bars menubar="yes" toolbar="no"/>
    <window_size cx="800" cy="600">customize</window_size>
    <compress_option>better ratio</compress_option>
  </config>
  <toc><item text="Start" url="index.htm"/></toc>
</ebook_project>
)";

TEST(ProjectTest, LoadsSettingsFromTheConfigElement) {
  TempDir dir;
  Project project;
  ASSERT_TRUE(project.Load(dir.Write("guide.bpj", kProject))) << project.error();
  EXPECT_EQ(project.settings().Answer("bookname"), "Guide & Manual");
  EXPECT_EQ(project.settings().Answer("enable_menubar"), "true");
  EXPECT_EQ(project.settings().Answer("enable_toolbar"), "false");
  EXPECT_EQ(project.settings().Answer("customize"), "true");
  EXPECT_EQ(project.settings().Answer("window_size_cx"), "800");
  EXPECT_EQ(project.settings().CompilerValue("compress_option"), "better ratio");
  EXPECT_EQ(project.BookFolder(), dir.path() + "/pages");
  EXPECT_EQ(project.ProjectFolder(), dir.path());
  ASSERT_NE(project.document(), nullptr);
}

TEST(ProjectTest, BookFolderForms) {
  Project project;
  ASSERT_TRUE(project.LoadText("<p><config><ebook_directory>/srv/book/</ebook_directory></config></p>", "/x/a.bpj"));
  EXPECT_EQ(project.BookFolder(), "/srv/book");
  ASSERT_TRUE(project.LoadText("<p><config><ebook_directory>sub\\dir</ebook_directory></config></p>", "/x/a.bpj"));
  EXPECT_EQ(project.BookFolder(), "/x/sub/dir");
  ASSERT_TRUE(project.LoadText("<p><config/></p>", "/x/a.bpj"));
  EXPECT_EQ(project.BookFolder(), "/x");
}

TEST(ProjectTest, FaultsNameTheFileAndWhere) {
  Project project;
  EXPECT_FALSE(project.LoadText("<p>\n  <config>\n</p>", "bad.bpj"));
  EXPECT_EQ(project.error().rfind("bad.bpj:3:", 0), 0u) << project.error();
  EXPECT_EQ(project.document(), nullptr);
  EXPECT_FALSE(project.LoadText("<p><settings/></p>", "none.bpj"));
  EXPECT_NE(project.error().find("\"config\""), std::string::npos);
  EXPECT_FALSE(project.Load("/no/such/file.bpj"));
  EXPECT_NE(project.error().find("cannot be read"), std::string::npos);
  EXPECT_FALSE(project.LoadText("", "empty.bpj"));
}

}  // namespace
}  // namespace lectern
