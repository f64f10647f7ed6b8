// A real WebKitWebView, its web process and our extension in it: page script calls a fake
// `window.external` and the outcome is read back from the page.
#include "platform/gtk/script_host.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <filesystem>
#include <functional>

#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

bool RunUntil(const std::function<bool()>& done, int timeout_ms = 20000) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    g_main_context_iteration(nullptr, FALSE);
    g_usleep(1000);
  }
  return true;
}

std::string Describe(const ScriptValue& v, ScriptHandle child) {
  switch (v.kind()) {
    case ScriptValue::Kind::kEmpty: return "empty";
    case ScriptValue::Kind::kNull: return "null";
    case ScriptValue::Kind::kInt32: return "i32:" + std::to_string(v.int32());
    case ScriptValue::Kind::kBool: return v.boolean() ? "bool:true" : "bool:false";
    case ScriptValue::Kind::kDouble: return "double:" + std::to_string(v.number()).substr(0, 4);
    case ScriptValue::Kind::kWideString: return "wstr:" + v.text();
    case ScriptValue::Kind::kString: return "str:" + v.text();
    case ScriptValue::Kind::kObject: return v.object() == child ? "object:child" : "object:other";
    case ScriptValue::Kind::kFrame: return "frame";
  }
  return "?";
}

class Child : public ScriptEndpoint {
 public:
  std::vector<ScriptMember> Describe() override {
    return {{"add", 1, ScriptMemberKind::kMethod}, {"name", 2, ScriptMemberKind::kPropertyGet}};
  }
  HRESULT Invoke(int32_t id, ScriptMemberKind, std::span<const ScriptValue> args, ScriptObjectRegistry&,
                 ScriptValue* result) override {
    if (id == 2) {
      *result = ScriptValue::WideString(u"child \u00e9");
      return S_OK;
    }
    if (args.size() != 2 || args[0].kind() != ScriptValue::Kind::kInt32 || args[1].kind() != ScriptValue::Kind::kInt32)
      return DISP_E_TYPEMISMATCH;
    *result = ScriptValue::Int32(args[0].int32() + args[1].int32());
    return S_OK;
  }
};

// The window's side of the page's `window.external` in these tests.
class FakeExternal : public ScriptEndpoint {
 public:
  enum : int32_t { kTitle = 1, kEcho, kChild, kFail, kWait, kMakeList, kNothing, kBroken, kHalf, kActiveFrame = 3000 };

  std::vector<ScriptMember> Describe() override {
    return {{"title", kTitle, ScriptMemberKind::kPropertyGet},  {"title", kTitle, ScriptMemberKind::kPropertyPut},
            {"echo", kEcho, ScriptMemberKind::kMethod},         {"child", kChild, ScriptMemberKind::kPropertyGet},
            {"fail", kFail, ScriptMemberKind::kMethod},         {"wait", kWait, ScriptMemberKind::kMethod},
            {"makeList", kMakeList, ScriptMemberKind::kMethod}, {"nothing", kNothing, ScriptMemberKind::kMethod},
            {"broken", kBroken, ScriptMemberKind::kPropertyGet}, {"half", kHalf, ScriptMemberKind::kMethod},
            {"activeFrame", kActiveFrame, ScriptMemberKind::kPropertyPut}};
  }

  HRESULT Invoke(int32_t id, ScriptMemberKind kind, std::span<const ScriptValue> args, ScriptObjectRegistry& objects,
                 ScriptValue* result) override {
    switch (id) {
      case kTitle:
        if (kind == ScriptMemberKind::kPropertyPut) {
          title = args.empty() ? std::string() : args[0].text();
          return S_OK;
        }
        *result = ScriptValue::String(title);
        return S_OK;
      case kEcho: {
        std::string out;
        for (const auto& arg : args) {
          if (!out.empty()) out += ",";
          out += lectern::Describe(arg, child_handle);
          if (arg.kind() == ScriptValue::Kind::kFrame) echoed_frame = arg.frame();
        }
        *result = ScriptValue::WideString(Utf8ToWide(out));
        return S_OK;
      }
      case kChild:
        child_handle = objects.Add(child);
        *result = ScriptValue::Object(child_handle);
        return S_OK;
      case kFail:
        return E_INVALIDARG;
      case kWait: {
        // What a modal dialog does: a nested main loop, with the page's script waiting meanwhile.
        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        g_timeout_add(300, [](gpointer l) -> gboolean { g_main_loop_quit(static_cast<GMainLoop*>(l)); return G_SOURCE_REMOVE; }, loop);
        guint ticker = g_timeout_add(20, [](gpointer n) -> gboolean { ++*static_cast<int*>(n); return G_SOURCE_CONTINUE; }, &ticks_during_wait);
        g_main_loop_run(loop);
        g_source_remove(ticker);
        g_main_loop_unref(loop);
        *result = ScriptValue::Int32(42);
        return S_OK;
      }
      case kMakeList:
        *result = ScriptValue::Object(objects.Add(std::make_shared<Child>()));
        return S_OK;
      case kNothing:
        return S_OK;
      case kBroken:
        return DISP_E_MEMBERNOTFOUND;
      case kHalf:
        *result = ScriptValue::Double(0.5);
        return S_OK;
      case kActiveFrame:
        if (kind == ScriptMemberKind::kPropertyPut && args.size() == 1 && args[0].kind() == ScriptValue::Kind::kFrame)
          active_frame = args[0].frame();
        return S_OK;
    }
    return DISP_E_MEMBERNOTFOUND;
  }

  std::string title = "Lectern \u00e9";
  std::shared_ptr<Child> child = std::make_shared<Child>();
  ScriptHandle child_handle = 0;
  uint64_t echoed_frame = 0;
  uint64_t active_frame = 0;
  int ticks_during_wait = 0;
};

constexpr const char kPage[] = R"html(<!doctype html>
<html><body style="background:#f4efe2;font:20px sans-serif">
<h1>Lectern script channel</h1>
<p id="status">running</p>
<iframe id="sub" srcdoc="<script>parent.fromSubframe = window.external.echo('sub', 7);</script>"></iframe>
<script>
const r = {};
try {
  const x = window.external;
  r.title = x.title;
  x.title = 'set from the page';
  r.titleAfter = x.title;
  r.echo = x.echo(undefined, null, 5, true, 2.5, 'h\u00e9llo \u{1F4D6}', x.child, window, -0, 3000000000, {});
  r.same = x.child === x.child;
  r.childAdd = x.child.add(40, 2);
  r.childName = x.child.name;
  r.upper = x.ECHO(1);
  r.nothing = typeof x.nothing();
  r.half = x.half();
  try { x.fail('a'); r.fail = 'no throw'; } catch (e) { r.fail = (e instanceof Error) + '|' + e.message + '|' + e.number; }
  try { r.broken = x.broken; } catch (e) { r.broken = 'threw ' + e.message; }
  try { x.child.add('a', 'b'); } catch (e) { r.typeMismatch = e.number; }
  x.activeFrame = window;
  r.list = typeof x.makeList() + ',' + typeof x.makeList();
  r.keys = Object.keys(x).join(',');
} catch (e) {
  r.error = String(e);
}
window.results = r;
document.getElementById('status').textContent = JSON.stringify(r);
</script>
</body></html>)html";

class ScriptHostTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr)) << "no display; run under scripts/with-display";
    context_ = webkit_web_context_new();
    std::string error;
    host_ = ScriptHost::Create(context_, WebExtensionDirectory(), &error).release();
    ASSERT_NE(host_, nullptr) << error;
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window_), 800, 600);
    view_ = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context_));
    gtk_container_add(GTK_CONTAINER(window_), GTK_WIDGET(view_));
    gtk_widget_show_all(window_);
    g_signal_connect(view_, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer) {
                       if (event == WEBKIT_LOAD_FINISHED) ++loads_finished_;
                     }),
                     nullptr);
  }
  static void TearDownTestSuite() {
    if (window_) gtk_widget_destroy(window_);
    delete host_;
    if (context_) g_object_unref(context_);
  }

  void SetUp() override {
    ASSERT_NE(host_, nullptr);
    external_ = std::make_shared<FakeExternal>();
    host_->Attach(view_, external_);
  }

  void Load(const char* html) {
    int before = loads_finished_;
    webkit_web_view_load_html(view_, html, "lectern://book/");
    ASSERT_TRUE(RunUntil([&] { return loads_finished_ > before; })) << "page did not load";
  }

  // The page's value of `expression`, as a string.
  static std::string Eval(const std::string& expression) {
    struct Outcome {
      bool done = false;
      std::string text;
    } outcome;
    std::string script = "String(" + expression + ")";
    webkit_web_view_evaluate_javascript(
        view_, script.c_str(), -1, nullptr, nullptr, nullptr,
        +[](GObject* view, GAsyncResult* result, gpointer data) {
          auto* out = static_cast<Outcome*>(data);
          GError* error = nullptr;
          JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
          if (value) {
            char* text = jsc_value_to_string(value);
            out->text = text;
            g_free(text);
            g_object_unref(value);
          } else {
            out->text = std::string("<error: ") + (error ? error->message : "?") + ">";
            g_clear_error(&error);
          }
          out->done = true;
        },
        &outcome);
    EXPECT_TRUE(RunUntil([&] { return outcome.done; })) << expression;
    return outcome.text;
  }

  static inline WebKitWebContext* context_ = nullptr;
  static inline ScriptHost* host_ = nullptr;
  static inline GtkWidget* window_ = nullptr;
  static inline WebKitWebView* view_ = nullptr;
  static inline int loads_finished_ = 0;
  std::shared_ptr<FakeExternal> external_;
};

TEST_F(ScriptHostTest, PageScriptCallsTheWindowObjects) {
  Load(kPage);
  EXPECT_EQ(Eval("window.results.error"), "undefined");
  EXPECT_EQ(Eval("window.results.title"), "Lectern \u00e9");
  EXPECT_EQ(Eval("window.results.titleAfter"), "set from the page");
  EXPECT_EQ(external_->title, "set from the page");
  EXPECT_EQ(Eval("window.results.echo"),
            "empty,null,i32:5,bool:true,double:2.50,wstr:h\u00e9llo \U0001F4D6,object:child,frame,double:-0.0,"
            "double:3000,null");
  EXPECT_EQ(Eval("window.results.same"), "true");
  EXPECT_EQ(Eval("window.results.childAdd"), "42");
  EXPECT_EQ(Eval("window.results.childName"), "child \u00e9");
  EXPECT_EQ(Eval("window.results.upper"), "i32:1") << "member names ignore case";
  EXPECT_EQ(Eval("window.results.nothing"), "undefined");
  EXPECT_EQ(Eval("window.results.half"), "0.5");
  EXPECT_EQ(Eval("window.results.fail"),
            "true|\"fail\" failed with HRESULT 0x80070057 (E_INVALIDARG)|" + std::to_string(E_INVALIDARG));
  EXPECT_EQ(Eval("window.results.broken"), "threw \"broken\" failed with HRESULT 0x80020003 (DISP_E_MEMBERNOTFOUND)");
  EXPECT_EQ(Eval("window.results.typeMismatch"), std::to_string(DISP_E_TYPEMISMATCH));
  EXPECT_EQ(Eval("window.results.list"), "object,object");
  EXPECT_EQ(Eval("window.results.keys"), "title,echo,child,fail,wait,makeList,nothing,broken,half,activeFrame");
  EXPECT_NE(external_->active_frame, 0u);
  EXPECT_EQ(external_->active_frame, external_->echoed_frame) << "the page's own window, both times";
  EXPECT_EQ(Eval("window.fromSubframe"), "wstr:sub,i32:7") << "every frame gets window.external";
  // Calls made after the page's own script, from the window's side.
  EXPECT_EQ(Eval("window.external.child.add(1, 2)"), "3");
  EXPECT_EQ(host_->connection_count(), 1u);
}

TEST_F(ScriptHostTest, AHandlerMayRunANestedMainLoopWhileScriptWaits) {
  Load("<p>wait</p>");
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Eval("window.external.wait() + 1"), "43");
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
  EXPECT_GE(external_->ticks_during_wait, 5) << "the main loop kept running during the call";
  EXPECT_EQ(Eval("window.external.title"), "Lectern \u00e9") << "the channel goes on after the wait";
}

TEST_F(ScriptHostTest, ObjectsGoBackWhenTheirDocumentGoes) {
  Load("<script>window.kept = [external.makeList(), external.makeList(), external.child];</script>");
  EXPECT_EQ(Eval("window.kept.length"), "3");
  EXPECT_EQ(host_->live_object_count(), 3u);
  Load("<p>next page</p>");
  EXPECT_TRUE(RunUntil([] { return host_->live_object_count() == 0; }, 5000)) << host_->live_object_count();
}

TEST_F(ScriptHostTest, ViewWithoutExternalKeepsTheEngineObject) {
  host_->Detach(view_);
  Load("<p>plain</p>");
  EXPECT_EQ(Eval("typeof (window.external && window.external.echo)"), "undefined");
  host_->Attach(view_, external_);
  Load("<p>again</p>");
  EXPECT_EQ(Eval("typeof window.external.echo"), "function");
}

TEST_F(ScriptHostTest, SnapshotOfThePageIsSaved) {
  Load(kPage);
  struct Outcome {
    bool done = false;
    cairo_surface_t* surface = nullptr;
  } outcome;
  webkit_web_view_get_snapshot(
      view_, WEBKIT_SNAPSHOT_REGION_VISIBLE, WEBKIT_SNAPSHOT_OPTIONS_NONE, nullptr,
      +[](GObject* view, GAsyncResult* result, gpointer data) {
        auto* out = static_cast<Outcome*>(data);
        out->surface = webkit_web_view_get_snapshot_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
        out->done = true;
      },
      &outcome);
  ASSERT_TRUE(RunUntil([&] { return outcome.done; }));
  ASSERT_NE(outcome.surface, nullptr);
  EXPECT_GT(cairo_image_surface_get_width(outcome.surface), 100);
  std::string folder = std::string(getenv("LECTERN_BINARY_DIR") ? getenv("LECTERN_BINARY_DIR") : ".") + "/test-artifacts";
  std::filesystem::create_directories(folder);
  std::string png = folder + "/script_host_page.png";
  EXPECT_EQ(cairo_surface_write_to_png(outcome.surface, png.c_str()), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(outcome.surface);
  EXPECT_GT(testing::ReadWholeFile(png).size(), 1000u);
}

bool SandboxWorks() {
  gchar* bwrap = g_find_program_in_path("bwrap");
  if (!bwrap) return false;
  g_free(bwrap);
  gint status = 1;
  return g_spawn_command_line_sync("bwrap --ro-bind / / --unshare-net true", nullptr, nullptr, &status, nullptr) &&
         status == 0;
}

// The sandbox gives web processes a private /tmp and network namespace; the channel must get
// through it all the same.
TEST(ScriptHostSandboxTest, SandboxedWebProcessReachesTheChannel) {
  ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
  if (!SandboxWorks()) GTEST_SKIP() << "bubblewrap cannot make a sandbox on this machine";
  WebKitWebContext* context = webkit_web_context_new();
  webkit_web_context_set_sandbox_enabled(context, TRUE);
  std::string error;
  auto host = ScriptHost::Create(context, WebExtensionDirectory(), &error);
  ASSERT_NE(host, nullptr) << error;
  GtkWidget* window = gtk_offscreen_window_new();
  auto* view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
  gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(view));
  gtk_widget_show_all(window);
  auto external = std::make_shared<FakeExternal>();
  host->Attach(view, external);
  bool loaded = false;
  g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer done) {
                     if (event == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(done) = true;
                   }),
                   &loaded);
  webkit_web_view_load_html(view, "<script>external.title = external.echo(1, 'x');</script>", "lectern://book/");
  EXPECT_TRUE(RunUntil([&] { return loaded; }));
  EXPECT_TRUE(RunUntil([&] { return external->title == "i32:1,wstr:x"; }, 5000)) << external->title;
  gtk_widget_destroy(window);
  host.reset();
  g_object_unref(context);
}

}  // namespace
}  // namespace lectern
