#include "lectern-pack/folder_book.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/book_identity.h"
#include "book/book_settings.h"
#include "book/project.h"
#include "book/xml/parse_xml.h"
#include "tests/support/fetched_data.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::TempDir;

BookIdentity Identity() {
  BookIdentity identity{};
  EXPECT_TRUE(ParseIdentityHex("00112233445566778899aabbccddeeff", identity));
  return identity;
}

FolderBook Plan(const std::string& folder, const FolderBookOptions& options = {}) {
  FolderBook book;
  std::string error;
  EXPECT_TRUE(PlanFolderBook(folder, Identity(), options, book, error)) << error;
  return book;
}

// The contents as "text -> url" lines, indented by depth, for comparing whole trees.
void Describe(const std::vector<ContentsItem>& items, int depth, std::string& out) {
  for (const ContentsItem& item : items) {
    out += std::string(size_t(depth) * 2, ' ') + item.text + " -> " + item.url + "\n";
    Describe(item.children, depth + 1, out);
  }
}
std::string Describe(const std::vector<ContentsItem>& items) {
  std::string out;
  Describe(items, 0, out);
  return out;
}

// The same for a contents tree as the pane reads it.
void DescribeElement(const AdvXMLParser::Element& element, int depth, std::string& out) {
  for (const AdvXMLParser::Element* item : element.GetElements()) {
    out += std::string(size_t(depth) * 2, ' ') + item->FindAttribute("text").GetText() + " -> " +
           item->FindAttribute("url").GetText() + "\n";
    DescribeElement(*item, depth + 1, out);
  }
}
std::string ContentsOf(const AdvXMLParser::Element* toc) {
  std::string out;
  if (toc) DescribeElement(*toc, 0, out);
  return out;
}

class FolderBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("site/index.html", "<html><head><TITLE>The  Guide\n to &amp; Things</TITLE></head></html>");
    dir_.Write("site/about.html", "<title xmlns:d=\"urn:x\">About &#x263A;</title>");
    dir_.Write("site/notes.txt", "not a page");
    dir_.Write("site/b-part/Index.HTM", "<title>Part B</title>");
    dir_.Write("site/b-part/two.html", "<title>Second</title>");
    dir_.Write("site/b-part/deep/leaf.html", "<p>no title here</p>");
    dir_.Write("site/a-part/one.html", "<title>caf\xE9</title>");  // not UTF-8
    dir_.Write("site/images/logo.png", "png");
    std::filesystem::create_directories(dir_.Join("site/empty"));
    site_ = dir_.Join("site");
  }

  TempDir dir_;
  std::string site_;
};

TEST_F(FolderBookTest, AFolderBecomesACompleteBook) {
  FolderBook book = Plan(site_);
  const auto& s = book.settings;
  EXPECT_EQ(s.at("bookname"), "The Guide to & Things");
  EXPECT_EQ(s.at("start_page"), "index.html");
  EXPECT_EQ(s.at("guid"), "00112233445566778899aabbccddeeff");
  for (const char* on : {"enable_menubar", "enable_toolbar", "enable_searchbar", "enable_statusbar",
                         "enable_contenttree", "show_toc_at_startup", "border_icon_close", "border_icon_min",
                         "border_icon_max"})
    EXPECT_EQ(s.at(on), "true") << on;
  // The start page first; pages under their titles (or names); folders as sections opening their
  // index page; folders without pages left out.
  EXPECT_EQ(Describe(book.contents),
            "The Guide to & Things -> index.html\n"
            "About \xE2\x98\xBA -> about.html\n"
            "a-part -> \n"
            "  one.html -> a-part/one.html\n"
            "b-part -> b-part/Index.HTM\n"
            "  Second -> b-part/two.html\n"
            "  deep -> \n"
            "    leaf.html -> b-part/deep/leaf.html\n");

  // The configuration document is what the contents pane reads.
  XmlParseResult config = ParseXml(FolderBookConfigDocument(book));
  ASSERT_TRUE(config.ok()) << config.description;
  EXPECT_EQ(ContentsOf(config.document->GetRoot()->FindElement("toc")), Describe(book.contents));
}

TEST_F(FolderBookTest, TheStartPageRule) {
  // Without an index page at the top the first page there starts the book...
  std::filesystem::remove(site_ + "/index.html");
  EXPECT_EQ(Plan(site_).settings.at("start_page"), "about.html");
  // ...without any page at the top, the first folder that has one...
  std::filesystem::remove(site_ + "/about.html");
  FolderBook book = Plan(site_);
  EXPECT_EQ(book.settings.at("start_page"), "a-part/one.html");
  // ...and the folder's name stands in for a title it lacks.
  EXPECT_EQ(book.settings.at("bookname"), "site");
  dir_.Write("site/DEFAULT.HTM", "<title>Default</title>");
  dir_.Write("site/aaa.html", "<title>First by name</title>");
  EXPECT_EQ(Plan(site_).settings.at("start_page"), "DEFAULT.HTM");
  // A folder without pages has no start page to name.
  dir_.Write("bare/readme.txt", "text");
  EXPECT_EQ(Plan(dir_.Join("bare")).settings.count("start_page"), 0u);
}

TEST_F(FolderBookTest, OptionsNameTheTitleStartAndAnySetting) {
  FolderBookOptions options;
  options.title = "Given";
  options.start_page = "B-PART/TWO.HTML";
  for (const char* text : {"enable_searchbar=false", "window_size_cx=800", "copyright=(c) us", "publisher="}) {
    std::pair<std::string, std::string> assignment;
    std::string error;
    ASSERT_TRUE(ParseSettingAssignment(text, assignment, error)) << error;
    options.overrides.push_back(assignment);
  }
  FolderBook book = Plan(site_, options);
  EXPECT_EQ(book.settings.at("bookname"), "Given");
  EXPECT_EQ(book.settings.at("start_page"), "b-part/two.html") << "as the folder spells it";
  EXPECT_EQ(book.settings.count("enable_searchbar"), 0u);
  EXPECT_EQ(book.settings.at("window_size_cx"), "800");
  EXPECT_EQ(book.settings.at("copyright"), "(c) us");

  options.start_page = "missing.html";
  FolderBook unused;
  std::string error;
  EXPECT_FALSE(PlanFolderBook(site_, Identity(), options, unused, error));
  EXPECT_NE(error.find("--start: missing.html"), std::string::npos) << error;

  struct Bad {
    const char* text;
    const char* says;
  };
  for (const Bad& bad : {Bad{"no_such_key=1", "unknown setting \"no_such_key\""},
                         Bad{"BookName=x", "did you mean \"bookname\""}, Bad{"bookdir=x", "unknown setting"},
                         Bad{"enable_toolbar=yes", "a flag"}, Bad{"window_size_cx=wide", "a number"},
                         Bad{"bookname", "KEY=VALUE"}}) {
    std::pair<std::string, std::string> assignment;
    EXPECT_FALSE(ParseSettingAssignment(bad.text, assignment, error)) << bad.text;
    EXPECT_NE(error.find(bad.says), std::string::npos) << error;
  }
}

TEST_F(FolderBookTest, TheProjectFileCarriesTheSameBook) {
  FolderBookOptions options;
  options.overrides.push_back({"topmost", "true"});
  options.overrides.push_back({"logo_tooltip", "a \"quoted\" <tip>"});
  FolderBook book = Plan(site_, options);
  Project project;
  ASSERT_TRUE(project.LoadText(FolderBookProject(book, "site"), dir_.Join("site.bpj"))) << project.error();
  EXPECT_EQ(project.BookFolder(), site_);
  // Every setting means in the project what it means in the book.
  for (const SettingSource& source : SettingSources()) {
    if (!IsArchiveSettingKey(source.key) || source.key == "creationdate") continue;
    std::string in_book = book.settings.count(std::string(source.key)) ? book.settings.at(std::string(source.key)) : "";
    std::string in_project = project.settings().Answer(source.key).value_or("");
    if (source.form == SettingForm::kFlag) {
      EXPECT_EQ(IsSettingOn(in_book), IsSettingOn(in_project)) << source.key;
    } else if (source.form == SettingForm::kInteger) {
      EXPECT_EQ(ParseSettingInteger(in_book), ParseSettingInteger(in_project)) << source.key;
    } else {
      EXPECT_EQ(in_book, in_project) << source.key;
    }
  }
  EXPECT_EQ(ContentsOf(project.document()->GetRoot()->FindElement("toc")), Describe(book.contents));
}

TEST(FolderBookHandbookTest, ThePackedHandbookTreeReadsAsABook) {
  std::filesystem::path html = testing::FetchedData("debian-handbook") / "usr/share/doc/debian-handbook/html";
  if (!std::filesystem::exists(html)) FAIL() << testing::MissingDataMessage("debian-handbook");
  FolderBook book = Plan(html.string());
  EXPECT_EQ(book.settings.at("start_page"), "ar-MA/index.html");
  EXPECT_FALSE(book.settings.at("bookname").empty());
  // One section per language, each opening its own index page and listing its chapters by title.
  ASSERT_GE(book.contents.size(), 20u);
  const ContentsItem* english = nullptr;
  for (const ContentsItem& item : book.contents)
    if (item.text == "en-US") english = &item;
  ASSERT_NE(english, nullptr);
  EXPECT_EQ(english->url, "en-US/index.html");
  bool apt = false;
  for (const ContentsItem& chapter : english->children)
    apt = apt || (chapter.url == "en-US/apt.html" && chapter.text.find("Maintenance and Updates: The APT Tools") != std::string::npos);
  EXPECT_TRUE(apt) << Describe(english->children).substr(0, 2000);
  EXPECT_TRUE(ParseXml(FolderBookConfigDocument(book)).ok());
}

}  // namespace
}  // namespace lectern
