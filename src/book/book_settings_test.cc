#include "book/book_settings.h"

#include <gtest/gtest.h>

namespace lectern {
namespace {

ProjectElement Element(std::string name, std::string text,
                       std::vector<std::pair<std::string, std::string>> attributes = {}) {
  return {std::move(name), std::move(text), std::move(attributes)};
}

TEST(BookSettingsTest, ValueForms) {
  EXPECT_TRUE(IsSettingOn("true"));
  EXPECT_FALSE(IsSettingOn("True"));
  EXPECT_FALSE(IsSettingOn("yes"));
  EXPECT_FALSE(IsSettingOn(""));
  EXPECT_EQ(ParseSettingInteger("  -42px"), -42);
  EXPECT_EQ(ParseSettingInteger("+7"), 7);
  EXPECT_EQ(ParseSettingInteger("wide"), 0);
  EXPECT_EQ(ParseSettingInteger(""), 0);
  EXPECT_EQ(ParseSettingInteger("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(ParseSettingInteger("-99999999999999999999"), INT32_MIN);
}

TEST(BookSettingsTest, ProjectAnswersInArchiveForms) {
  ProjectSettings project;
  std::vector<ProjectElement> config = {
      Element("title", "My Book"),
      Element("window_size", "customize", {{"cx", "800"}, {"cy", "0"}}),
      Element("window_size", "fullscreen"),  // only the first of a name counts
      Element("ebook_bars", "", {{"menubar", "yes"}, {"toolbar", "true"}, {"statusbar", "YES"}}),
      Element("ebook_browser_security", "", {{"enable_context_menu", "true"}, {"enable_copy", "yes"}}),
      Element("window_pos", "42", {{"left", "-5"}}),
      Element("compress_option", "better ratio"),
      Element("unknown_element", "ignored"),
  };
  project.Load(config);
  EXPECT_EQ(project.Answer("BOOKNAME"), "My Book");
  EXPECT_EQ(project.Answer("customize"), "true");
  EXPECT_EQ(project.Answer("fullscreen"), "false");
  EXPECT_EQ(project.Answer("window_size_cx"), "800");
  EXPECT_EQ(project.Answer("window_size_cy"), "0");
  EXPECT_EQ(project.Answer("enable_menubar"), "true") << "\"yes\" turns bar flags on";
  EXPECT_EQ(project.Answer("enable_toolbar"), "false") << "and only \"yes\"";
  EXPECT_EQ(project.Answer("enable_statusbar"), "false");
  EXPECT_EQ(project.Answer("enable_copy"), "false") << "security flags want \"true\"";
  EXPECT_EQ(project.Answer("enable_context_menu"), "true");
  EXPECT_EQ(project.Answer("enable_contextmenu"), "true") << "the archive spelling is served too";
  EXPECT_EQ(project.Answer("window_pos"), "42");
  EXPECT_EQ(project.Answer("window_left"), "-5");
  EXPECT_EQ(project.Answer("tbo_exit"), "0") << "missing integers read as 0";
  EXPECT_EQ(project.Answer("splash_image"), "");
  EXPECT_EQ(project.Answer("compress_option"), std::nullopt) << "compiler elements are no settings";
  EXPECT_EQ(project.CompilerValue("compress_option"), "better ratio");
  EXPECT_EQ(project.Answer("creationdate")->size(), 10u);
}

TEST(BookSettingsTest, EveryKeyHasASourceAndReadsBack) {
  // A project that sets every source; the compiled settings must read back the same answers.
  std::vector<ProjectElement> config;
  for (const SettingSource& s : SettingSources()) {
    if (s.element.empty()) continue;
    ProjectElement* e = nullptr;
    for (auto& existing : config)
      if (existing.name == s.element) e = &existing;
    if (!e) e = &config.emplace_back(Element(std::string(s.element), ""));
    std::string value = s.form == SettingForm::kFlag      ? std::string(s.on_word)
                        : s.form == SettingForm::kInteger ? "17"
                                                          : "value of " + std::string(s.key);
    if (s.attribute.empty()) {
      if (e->text.empty()) e->text = value;
    } else {
      e->attributes.emplace_back(std::string(s.attribute), value);
    }
  }
  ProjectSettings project;
  project.Load(config);
  std::map<std::string, std::string> archive = project.ToArchiveSettings();
  EXPECT_EQ(archive.count("bookdir"), 0u);
  ZPKConf conf;
  conf.map() = archive;
  SettingsLookup compiled, preview;
  compiled.UseArchive(&conf);
  preview.UseProject(&project);
  for (const SettingSource& s : SettingSources()) {
    if (s.key == "bookdir" || s.key == "enable_context_menu") continue;
    SCOPED_TRACE(std::string(s.key));
    std::string from_book, from_project;
    EXPECT_TRUE(compiled.GetSetting(s.key, from_book));
    EXPECT_TRUE(preview.GetSetting(s.key, from_project));
    EXPECT_EQ(from_book, from_project);
    if (s.form == SettingForm::kText && s.key != "creationdate") {
      EXPECT_EQ(from_book, "value of " + std::string(s.key));
    }
  }
}

TEST(BookSettingsTest, ArchiveKeysAreExactPreviewKeysAreNot) {
  ZPKConf conf;
  conf.map() = {{"bookname", "Title"}, {"enable_menubar", "True"}};
  SettingsLookup lookup;
  lookup.UseArchive(&conf);
  std::string value;
  EXPECT_TRUE(lookup.GetSetting("bookname", value));
  EXPECT_FALSE(lookup.GetSetting("BOOKNAME", value));
  EXPECT_TRUE(lookup.GetSetting("enable_menubar", value));
  EXPECT_FALSE(IsSettingOn(value)) << "True is not true";
  EXPECT_FALSE(lookup.preview_mode());

  ProjectSettings project;
  std::vector<ProjectElement> config = {Element("title", "Title")};
  project.Load(config);
  lookup.UseProject(&project);
  EXPECT_TRUE(lookup.preview_mode());
  EXPECT_TRUE(lookup.GetSetting("BookName", value));
  EXPECT_EQ(value, "Title");
  EXPECT_FALSE(lookup.GetSetting("no_such_key", value));
  EXPECT_EQ(value, "");

  EXPECT_FALSE(GetSetting("bookname", value)) << "nothing published";
  PublishSettingsLookup(&lookup);
  EXPECT_TRUE(GetSetting("bookname", value));
  PublishSettingsLookup(nullptr);
}

}  // namespace
}  // namespace lectern
