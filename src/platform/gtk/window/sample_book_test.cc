// The bundled sample book, compiled as the README's main job compiles it, in the real window:
// its page scripting page calls the reader, list and menu objects and shows what came back.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "book/book_compiler.h"
#include "book/project.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

class SampleBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string project_path = SourceDir() + "/samples/guide.bpj";
    std::string text = ReadWholeFile(project_path);
    // A bare book is enough here: the self-contained form is the pack tool's own test.
    text = std::regex_replace(text, std::regex("<self_executable>yes</self_executable>"),
                              "<self_executable>no</self_executable>");
    text = std::regex_replace(text, std::regex("<show_splash([^>]*)>yes</show_splash>"), "<show_splash$1>no</show_splash>");
    Project project;
    ASSERT_TRUE(project.LoadText(text, project_path)) << project.error();
    CompileOptions options;
    options.output_path = dir.Join("guide.ebk");
    CompileResult compiled = CompileProject(project, options);
    ASSERT_TRUE(compiled.ok) << compiled.error;
    ASSERT_TRUE(frame.Create(compiled.book_path));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }
  std::string Run(const std::string& script) { return Evaluate(frame.view(), script.c_str()); }
  void OpenScriptingPage() {
    frame.Navigate("file://c:/datastore/pages/scripting.html");
    ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) &&
                                      Run("document.readyState") == "complete" &&
                                      Run("document.title") == "Page scripting - Lectern guide"; }));
  }

  TempDir dir;
  GtkMainFrame frame;
};

TEST_F(SampleBookTest, ScriptingPageReadsTheBookAndKeepsNotes) {
  OpenScriptingPage();
  Run("document.getElementById('show-info').click(); 'ok'");
  std::string info = Run("document.getElementById('info').textContent");
  EXPECT_NE(info.find("Title: Lectern: a guide to the reader"), std::string::npos) << info;
  EXPECT_NE(info.find("ID: 4C6563746572E2809947756964650001"), std::string::npos) << info;
  EXPECT_NE(info.find("Start page: file://c:/datastore/index.html"), std::string::npos) << info;

  Run("document.getElementById('clear-notes').click();"
      "document.getElementById('note').value = 'second'; document.getElementById('add-note').click();"
      "document.getElementById('note').value = 'first'; document.getElementById('add-note-first').click(); 'ok'");
  frame.OnCommand(kCmdRefresh);
  RunUntil([&] { return webkit_web_view_is_loading(frame.view()); }, 2);
  ASSERT_TRUE(RunUntil([&] { return !webkit_web_view_is_loading(frame.view()) &&
                                    Run("document.getElementById('notes').children.length") == "2"; }));
  EXPECT_EQ(Run("document.getElementById('notes').textContent"), "firstsecond") << "read back from the registry";

  Run("document.getElementById('extract-temp').click(); 'ok'");
  std::string extracted = Run("document.getElementById('extracted').textContent");
  ASSERT_EQ(extracted.rfind("Copied to ", 0), 0u) << extracted;
  EXPECT_EQ(ReadWholeFile(extracted.substr(10)), ReadWholeFile(SourceDir() + "/samples/guide/media/chime.wav"));

  Run("document.querySelector('[data-size=\"4\"]').click(); 'ok'");
  EXPECT_EQ(frame.lectern_view()->GetTextSize(), 4);
  Run("document.querySelector('[data-call=\"showSearchPane\"]').click(); 'ok'");
  EXPECT_EQ(frame.side_bar()->caption(), "Search");
  SaveWindowSnapshot(frame.window(), ArtefactPath("sample-scripting.png"));
}

TEST_F(SampleBookTest, StartPageChimeLoadsFromTheBook) {
  // The chime is stored raw; the media engine must get its bytes from the book.
  const char* state = "(a => a.error ? 'error ' + a.error.code : String(a.readyState))(document.querySelector('audio'))";
  ASSERT_TRUE(RunUntil([&] { std::string now = Run(state); return now != "0"; }, 10)) << Run(state);
  EXPECT_EQ(Run(state).rfind("error", 0), std::string::npos) << Run(state);
  EXPECT_EQ(Run("String(Math.round(document.querySelector('audio').duration))"), "3") << "as in Preview Mode";
  EXPECT_EQ(Run("String(Math.round(document.querySelector('audio').seekable.end(0)))"), "3");
  Run("(a => { window.seekedTo = null; a.addEventListener('seeked', () => { window.seekedTo = a.currentTime; });"
      " a.currentTime = 2; })(document.querySelector('audio')); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return Run("String(window.seekedTo)") != "null"; }, 10));
  EXPECT_EQ(Run("String(Math.round(window.seekedTo))"), "2");
}

TEST_F(SampleBookTest, MessageAndHomeButtonsReachTheWindow) {
  OpenScriptingPage();
  MessageBoxRecorder boxes;
  Run("document.getElementById('message').click(); 'ok'");
  ASSERT_EQ(boxes.boxes().size(), 1u);
  EXPECT_EQ(boxes.boxes()[0].caption, "Page scripting");
  Run("document.querySelector('[data-call=\"goHome\"]').click(); 'ok'");
  EXPECT_TRUE(RunUntil([&] { return Run("location.pathname").find("index.html") != std::string::npos; }));
}

}  // namespace
}  // namespace lectern
