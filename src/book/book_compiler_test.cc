#include "book/book_compiler.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/book_identity.h"
#include "archive/zpk.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

constexpr char kProject[] = R"(<ebook_project>
  <config>
    <title>Compiled Guide</title>
    <ebook_directory>book</ebook_directory>
    <start_page>index.html</start_page>
    <ebook_bars menubar="yes" toolbar="yes" searchbar="no" statusbar="yes"/>
    <window_size cx="900" cy="700">customize</window_size>
    <show_splash delay_time="2" close_by_key="yes">yes</show_splash>
    <splash_image>images/splash.png</splash_image>
    <compress_option>better ratio</compress_option>
    <target_directory>out</target_directory>
    <ebk_filename>guide.ebk</ebk_filename>
  </config>
  <toc>
    <item text="Start" url="index.html">
      <item text="Deeper" url="pages/a.html"><item text="Web" url="https://example.org/"/></item>
    </item>
  </toc>
</ebook_project>
)";

class BookCompilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("book/index.html", "<html><title>Start</title></html>");
    dir.Write("book/pages/a.html", "<html>a</html>");
    dir.Write("book/images/splash.png", "\x89PNG not really");
    std::filesystem::create_directories(dir.Join("out"));
  }
  Project Load(const std::string& text) {
    Project project;
    EXPECT_TRUE(project.Load(dir.Write("guide.bpj", text))) << project.error();
    return project;
  }
  TempDir dir;
};

TEST_F(BookCompilerTest, CompiledBookAnswersLikeTheProject) {
  Project project = Load(kProject);
  CompileResult result = CompileProject(project, {});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.book_path, dir.Join("out/guide.ebk"));

  ZPK zpk;
  ASSERT_TRUE(zpk.Open(result.book_path));
  SettingsLookup compiled, preview;
  compiled.UseArchive(&zpk.settings());
  preview.UseProject(&project.settings());
  // The project names no guid: the book carries its own identity as one.
  EXPECT_TRUE(result.guid_from_identity);
  std::string guid;
  ASSERT_TRUE(zpk.settings().Get("guid", guid) == 0);
  EXPECT_EQ(guid, IdentityHex(zpk.identity()));
  for (const SettingSource& s : SettingSources()) {
    if (s.key == "bookdir" || s.key == "enable_context_menu" || s.key == "guid") continue;
    std::string from_book, from_project;
    compiled.GetSetting(s.key, from_book);
    preview.GetSetting(s.key, from_project);
    EXPECT_EQ(from_book, from_project) << s.key;
  }
  for (const auto& [key, value] : zpk.settings().map()) EXPECT_FALSE(value.empty()) << key;
  std::vector<uint8_t> page;
  ASSERT_TRUE(zpk.ReadWholeEntry("pages/a.html", page));
  ASSERT_NE(zpk.config_document(), nullptr);
  const auto* root = zpk.config_document()->GetElements().front();
  const auto* toc = root->FindElement("toc");
  ASSERT_NE(toc, nullptr);
  EXPECT_EQ(toc->GetElements().front()->FindAttribute("text").GetText(), "Start");
}

TEST_F(BookCompilerTest, FaultsNameTheElementAndWriteNothing) {
  struct Case {
    std::string from, to, expected;
  };
  const Case cases[] = {
      {"<splash_image>images/splash.png</splash_image>", "<splash_image>images/gone.png</splash_image>",
       "splash_image: images/gone.png"},
      {"url=\"pages/a.html\"", "url=\"pages/missing.html\"", "toc: pages/missing.html"},
      {"<ebook_directory>book</ebook_directory>", "<ebook_directory>nowhere</ebook_directory>", "ebook_directory:"},
      {"<start_page>index.html</start_page>", "", "start_page: index.htm "},
      {"<compress_option>", "<self_executable>yes</self_executable><compress_option>", "self_executable:"},
  };
  for (const Case& c : cases) {
    std::string text = kProject;
    text.replace(text.find(c.from), c.from.size(), c.to);
    Project project = Load(text);
    CompileResult result = CompileProject(project, {});
    EXPECT_FALSE(result.ok) << c.expected;
    EXPECT_NE(result.error.find(c.expected), std::string::npos) << result.error;
    EXPECT_FALSE(std::filesystem::exists(dir.Join("out/guide.ebk")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Join("out"))) << "no temporary file left either";
  }
}

TEST_F(BookCompilerTest, SelfContainedBooksAndDefaultNames) {
  std::string text = kProject;
  text.replace(text.find("<target_directory>out</target_directory>"), 40, "");
  text.replace(text.find("<ebk_filename>guide.ebk</ebk_filename>"), 38, "<self_executable>yes</self_executable>");
  Project project = Load(text);
  EXPECT_TRUE(ProjectWantsExecutable(project));
  EXPECT_EQ(ProjectBookPath(project, true), dir.Join("guide"));
  EXPECT_EQ(ProjectBookPath(project, false), dir.Join("guide.ebk"));
  CompileOptions options;
  options.reader_executable = dir.Write("reader", "#!/bin/sh\necho reader\n");
  CompileResult result = CompileProject(project, options);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(ReadWholeFile(result.book_path).rfind("#!/bin/sh\necho reader\n", 0), 0u);
  EXPECT_TRUE(HasArchiveTrailer(result.book_path));
}

TEST_F(BookCompilerTest, PagesAreCheckedAsTheReaderFindsThem) {
  std::string text = kProject;
  text.replace(text.find("<start_page>index.html</start_page>"), 35, "<start_page>INDEX.HTML</start_page>");
  text.replace(text.find("url=\"pages/a.html\""), 18, "url=\"Pages/A.html#top\"");
  Project project = Load(text);
  CompileResult result = CompileProject(project, {});
  EXPECT_TRUE(result.ok) << result.error;
}

TEST_F(BookCompilerTest, AGuidIsKeptTheLevelFollowsTheProjectElseTheOption) {
  std::string text = kProject;
  text.replace(text.find("<title>"), 7, "<guid>0123456789ABCDEF0123456789ABCDEF</guid><title>");
  text.replace(text.find("<compress_option>better ratio</compress_option>"), 47, "");
  std::string prose;
  for (unsigned i = 0; i < 8000; ++i) prose += "word" + std::to_string(i * 7919 % 113) + (i % 13 ? " " : ".\n");
  dir.Write("book/big.html", prose);
  Project project = Load(text);
  auto stored_size = [&](int level) {
    CompileOptions options;
    options.writer.compress_level = level;
    CompileResult result = CompileProject(project, options);
    EXPECT_TRUE(result.ok) << result.error;
    EXPECT_FALSE(result.guid_from_identity);
    EXPECT_EQ(result.settings.at("guid"), "0123456789ABCDEF0123456789ABCDEF");
    return std::filesystem::file_size(result.book_path);
  };
  EXPECT_LT(stored_size(LzoCompressor::kLevelBest), stored_size(LzoCompressor::kLevelFast));

  // compress_option, when the project has one, decides whatever the option says.
  // With a guid of its own: an identity drawn at random would compress to a byte more or less.
  std::string fast_text = text;
  fast_text.replace(fast_text.find("<title>"), 7, "<compress_option>faster</compress_option><title>");
  Project fast = Load(fast_text);
  CompileOptions best;
  best.writer.compress_level = LzoCompressor::kLevelBest;
  CompileResult from_project = CompileProject(fast, best);
  ASSERT_TRUE(from_project.ok) << from_project.error;
  CompileOptions fast_option;
  fast_option.writer.compress_level = LzoCompressor::kLevelFast;
  fast_option.output_path = dir.Join("out/fast.ebk");
  ASSERT_TRUE(CompileProject(fast, fast_option).ok);
  EXPECT_EQ(std::filesystem::file_size(from_project.book_path), std::filesystem::file_size(fast_option.output_path));
}

TEST_F(BookCompilerTest, AProjectCompiledIntoItsOwnFolderGivesTheSameBookEachTime) {
  // No ebook_directory: the project's folder is the book's, and the book is written there.
  dir.Write("self/index.htm", "<html><title>Self</title>" + std::string(30000, 's') + "</html>");
  Project project;
  ASSERT_TRUE(project.Load(dir.Write("self/self.bpj", "<p><config><title>Self</title></config></p>"))) << project.error();
  CompileOptions options;
  ASSERT_TRUE(ParseIdentityHex("00112233445566778899aabbccddeeff", options.writer.identity));
  std::vector<std::string> books;
  for (int run = 0; run < 3; ++run) {
    CompileResult result = CompileProject(project, options);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.book_path, dir.Join("self/self.ebk"));
    books.push_back(ReadWholeFile(result.book_path));
  }
  EXPECT_TRUE(books[0] == books[1] && books[1] == books[2]);
  ZPK zpk;
  ASSERT_TRUE(zpk.Open(dir.Join("self/self.ebk")));
  EXPECT_EQ(zpk.directory().Find("self.ebk", NodeKind::kFile), nullptr);
  EXPECT_NE(zpk.directory().Find("self.bpj", NodeKind::kFile), nullptr);
}

}  // namespace
}  // namespace lectern
