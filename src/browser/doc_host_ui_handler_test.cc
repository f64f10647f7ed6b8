#include "browser/doc_host_ui_handler.h"

#include <gtest/gtest.h>

#include "browser/dispatch_endpoint.h"
#include "platform/message_box.h"

namespace lectern {
namespace {

struct RecordingFrame final : IHostFrame {
  virtual ~RecordingFrame() = default;
  void PostClose() override { ++closes; }
  void ExtractFile(std::string_view path) override { extracted = path; }
  bool ShellOpen(const std::string& path, const std::string& parameters) override {
    opened = path;
    opened_parameters = parameters;
    return shell_works;
  }
  void* ActiveWindow() override { return nullptr; }
  void SetActiveFrame(IDispatch* frame) override { active = ComPtr<IDispatch>(frame); }
  IDispatch* Reader() override { return reader; }
  std::string ProgramFolder() override { return "/opt/book"; }

  int closes = 0;
  std::string extracted, opened, opened_parameters;
  bool shell_works = true;
  ComPtr<IDispatch> active;  // kept with a reference, as the view keeps it
  IDispatch* reader = nullptr;
};

std::vector<std::string> g_boxes;
int RecordBox(void*, std::string_view text, std::string_view caption, unsigned) {
  g_boxes.push_back(std::string(text) + " | " + std::string(caption));
  return kIdOk;
}

class ExternalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = SetMessageBoxHandler(RecordBox);
    g_boxes.clear();
  }
  void TearDown() override { SetMessageBoxHandler(previous_); }

  // Calls through the script channel's endpoint, with arguments in the order script writes them.
  HRESULT Call(DISPID id, std::vector<ScriptValue> args, ScriptMemberKind kind = ScriptMemberKind::kMethod,
               ScriptValue* result = nullptr) {
    ScriptValue ignored;
    return endpoint_.Invoke(id, kind, args, objects_, result ? result : &ignored);
  }

  RecordingFrame frame_;
  CDocHostUIHandlerDispatch external_{&frame_};
  DispatchEndpoint endpoint_{&external_, CDocHostUIHandlerDispatch::Members()};
  ScriptObjectRegistry objects_{[](uint64_t) { return nullptr; }};
  MessageBoxHandler previous_ = nullptr;
};

TEST_F(ExternalTest, NamesMatchIgnoringCaseAndUnknownNamesAreLeftAlone) {
  const OLECHAR* exit_name = u"EXIT";
  DISPID id = 77;
  EXPECT_EQ(external_.GetIDsOfNames(IID_NULL, const_cast<OLECHAR**>(&exit_name), 1, 0, &id), S_OK);
  EXPECT_EQ(id, kExternalExit);
  const OLECHAR* unknown = u"nothing";
  id = 77;
  EXPECT_EQ(external_.GetIDsOfNames(IID_NULL, const_cast<OLECHAR**>(&unknown), 1, 0, &id), S_OK);
  EXPECT_EQ(id, 77);
  void* object = nullptr;
  IID other = IID_IDispatch;
  other.Data1 ^= 1;
  EXPECT_EQ(external_.QueryInterface(other, &object), E_NOTIMPL);
}

TEST_F(ExternalTest, ExtractWantsOneNonEmptyString) {
  EXPECT_EQ(Call(kExternalExtract, {}), E_FAIL);
  EXPECT_EQ(Call(kExternalExtract, {ScriptValue::Int32(4)}), E_INVALIDARG);
  EXPECT_EQ(Call(kExternalExtract, {ScriptValue::String("")}), E_INVALIDARG);
  EXPECT_EQ(Call(kExternalExtract, {ScriptValue::String("docs/a.pdf")}), S_OK);
  EXPECT_EQ(frame_.extracted, "docs/a.pdf");
}

TEST_F(ExternalTest, ShellOpenTakesParametersFirstAndReportsFailures) {
  EXPECT_EQ(Call(kExternalShellOpen, {}), E_FAIL);
  EXPECT_EQ(Call(kExternalShellOpen, {ScriptValue::String("")}), E_INVALIDARG);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], "Invalid Argument! | Error");
  EXPECT_EQ(Call(kExternalShellOpen, {ScriptValue::String("--page 3"), ScriptValue::String("tools/viewer")}), S_OK);
  EXPECT_EQ(frame_.opened, "/opt/book/tools/viewer");
  EXPECT_EQ(frame_.opened_parameters, "--page 3");
  EXPECT_EQ(Call(kExternalShellOpen, {ScriptValue::Int32(1), ScriptValue::String("x")}), E_INVALIDARG);
  frame_.shell_works = false;
  EXPECT_EQ(Call(kExternalShellOpen, {ScriptValue::String("gone")}), S_OK);
  EXPECT_EQ(g_boxes.back(), "Open /opt/book/gone failed! | Error");
}

TEST_F(ExternalTest, ShellOpenStaysInsideTheProgramsFolder) {
  for (const char* escape : {"../../../../bin/sh", "/bin/sh", "\\bin\\sh", "c:\\windows\\notepad.exe",
                             "docs/../../outside", "..\\x", ".", "docs/.."}) {
    frame_.opened.clear();
    EXPECT_EQ(Call(kExternalShellOpen, {ScriptValue::String(escape)}), E_INVALIDARG) << escape;
    EXPECT_EQ(frame_.opened, "") << escape;
  }
  EXPECT_EQ(g_boxes.back(), "Invalid Argument! | Error");
  EXPECT_EQ(Call(kExternalShellOpen, {ScriptValue::String("docs\\readme.txt")}), S_OK);
  EXPECT_EQ(frame_.opened, "/opt/book/docs/readme.txt");
  EXPECT_EQ(Call(kExternalShellOpen, {ScriptValue::String("./docs//old/../readme.txt")}), S_OK);
  EXPECT_EQ(frame_.opened, "/opt/book/docs/readme.txt");
}

TEST_F(ExternalTest, ExitReaderActiveFrameAndTheRest) {
  EXPECT_EQ(Call(kExternalExit, {}), S_OK);
  EXPECT_EQ(frame_.closes, 1);
  EXPECT_EQ(Call(kExternalNewWindow, {}), S_OK);
  EXPECT_EQ(Call(12345, {}), S_OK) << "any other id does nothing";

  EXPECT_EQ(Call(kExternalReader, {}, ScriptMemberKind::kPropertyPut), DISP_E_MEMBERNOTFOUND);
  frame_.reader = &external_;  // any IDispatch will do
  ScriptValue first, second;
  ASSERT_EQ(Call(kExternalReader, {}, ScriptMemberKind::kPropertyGet, &first), S_OK);
  ASSERT_EQ(Call(kExternalReader, {}, ScriptMemberKind::kPropertyGet, &second), S_OK);
  ASSERT_EQ(first.kind(), ScriptValue::Kind::kObject);
  EXPECT_EQ(first, second) << "the same object every time";

  EXPECT_EQ(Call(kExternalActiveFrame, {ScriptValue::Frame(42)}, ScriptMemberKind::kPropertyPut), S_OK);
  auto* frame_ref = dynamic_cast<IFrameWindowRef*>(frame_.active.get());
  ASSERT_NE(frame_ref, nullptr);
  EXPECT_EQ(frame_ref->frame_id(), 42u);
  frame_.active = ComPtr<IDispatch>();
  EXPECT_EQ(Call(kExternalActiveFrame, {ScriptValue::Null()}, ScriptMemberKind::kPropertyPut), S_OK);
  EXPECT_FALSE(frame_.active) << "a null window is not taken";
}

}  // namespace
}  // namespace lectern
