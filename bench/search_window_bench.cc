// The search as the reader's window runs it, on the packed debian-handbook tree: from the Enter key
// in the search bar to the filled list of hits, as a ratio to the engine's own SearchBook for the
// same two-word query in the same run, and the longest stall of the main loop while the search
// runs (a high-priority 2 ms timer records the gaps between its ticks).
//
// Needs a display: run under scripts/with-display. The handbook is fetched into bench/data/
// (git-ignored) as bench/search_bench.cc does; without it the benchmark is skipped.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "archive/zpk_writer.h"
#include "datastore/virtual_file_layer.h"
#include "platform/gtk/window/main_frame.h"

namespace lectern {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kQuery = "package repository";

fs::path DataFolder() { return fs::path(LECTERN_SOURCE_DIR) / "bench" / "data"; }
fs::path HandbookFolder() { return DataFolder() / "extracted/usr/share/doc/debian-handbook/html"; }

bool FetchHandbook() {
  if (fs::is_directory(HandbookFolder())) return true;
  std::error_code ignored;
  fs::create_directories(DataFolder(), ignored);
  std::string command = "cd '" + DataFolder().string() +
                        "' && apt-get download debian-handbook >/dev/null 2>&1 && "
                        "dpkg-deb -x debian-handbook_*.deb extracted >/dev/null 2>&1";
  return std::system(command.c_str()) == 0 && fs::is_directory(HandbookFolder());
}

fs::path Scratch() { return fs::temp_directory_path() / ("lectern-search-window-bench-" + std::to_string(getpid())); }

// The handbook packed with the search bar on; empty with `error` set when that fails.
std::string PackHandbook(std::string& error) {
  if (!FetchHandbook()) {
    error = "debian-handbook not available (apt-get download failed)";
    return {};
  }
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(HandbookFolder()))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  fs::create_directories(Scratch());
  std::string path = (Scratch() / "handbook.ebk").string();
  ZpkWriter writer;
  ZpkWriterOptions options;
  options.compress_level = LzoCompressor::kLevelFast;
  bool ok = writer.Begin(path, "", options);
  for (const fs::path& file : files) {
    if (!ok) break;
    std::ifstream in(file, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(in)), {});
    ok = writer.AddFile(fs::relative(file, HandbookFolder()).generic_string(),
                        std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
  }
  ok = ok && writer.SetSettings({{"bookname", "handbook"}, {"start_page", "en-US/index.html"},
                                  {"enable_searchbar", "true"}, {"enable_toolbar", "true"}});
  if (!ok || !writer.Finish()) {
    error = "packing failed: " + writer.error();
    return {};
  }
  return path;
}

void WaitForLoadFinished(WebKitWebView* view) {
  bool finished = false;
  gulong handler = g_signal_connect(view, "load-changed", G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer done) {
                                      if (event == WEBKIT_LOAD_FINISHED) *static_cast<bool*>(done) = true;
                                    }),
                                    &finished);
  auto deadline = Clock::now() + std::chrono::seconds(30);
  while (!finished && Clock::now() < deadline) g_main_context_iteration(nullptr, TRUE);
  g_signal_handler_disconnect(view, handler);
}

struct StallProbe {
  Clock::time_point last;
  double longest = 0;
};

gboolean OnProbeTick(gpointer data) {
  auto* probe = static_cast<StallProbe*>(data);
  auto now = Clock::now();
  probe->longest = std::max(probe->longest, std::chrono::duration<double>(now - probe->last).count());
  probe->last = now;
  return G_SOURCE_CONTINUE;
}

// Why there is no book to search, when there is none.
std::string g_error;

void BM_EnterToList(benchmark::State& state, const std::string* book) {
  if (book->empty()) return state.SkipWithError(g_error.c_str());
  GtkMainFrame frame;
  if (!frame.Create(*book)) return state.SkipWithError("the book did not open");
  frame.Show();
  WaitForLoadFinished(frame.view());
  CEbkManager* manager = static_cast<CEbkManager*>(frame.BookManager());
  CSearchBar* bar = frame.search_bar();
  GtkWidget* entry = bar->query_entry();
  bar->SetQueryText(kQuery);
  gtk_widget_grab_focus(entry);
  auto search_in_window = [&](StallProbe& probe) {
    GdkEvent* enter = gdk_event_new(GDK_KEY_PRESS);
    enter->key.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(entry)));
    enter->key.keyval = GDK_KEY_Return;
    enter->key.send_event = TRUE;
    enter->key.time = GDK_CURRENT_TIME;
    GdkKeymapKey* keys = nullptr;
    gint count = 0;
    if (gdk_keymap_get_entries_for_keyval(gdk_keymap_get_for_display(gdk_display_get_default()), GDK_KEY_Return, &keys,
                                          &count) && count > 0)
      enter->key.hardware_keycode = guint16(keys[0].keycode);
    g_free(keys);
    gdk_event_set_device(enter, gdk_seat_get_keyboard(gdk_display_get_default_seat(gdk_display_get_default())));
    probe.last = Clock::now();
    guint timer = g_timeout_add_full(G_PRIORITY_HIGH, 2, OnProbeTick, &probe, nullptr);
    auto start = Clock::now();
    gtk_main_do_event(enter);
    gdk_event_free(enter);
    while (frame.search_running()) g_main_context_iteration(nullptr, TRUE);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    g_source_remove(timer);
    return seconds;
  };
  StallProbe warm;
  search_in_window(warm);  // both paths read the book once before timing
  benchmark::DoNotOptimize(SearchBook(kQuery, manager, nullptr));
  double window = 0, engine = 0, stall = 0;
  size_t hits = 0;
  for (auto _ : state) {
    StallProbe probe;
    window += search_in_window(probe);
    stall = std::max(stall, probe.longest);
    auto start = Clock::now();
    std::unique_ptr<CSearchResult> result = SearchBook(kQuery, manager, nullptr);
    engine += std::chrono::duration<double>(Clock::now() - start).count();
    hits = result ? result->hits.size() : 0;
  }
  if (size_t(frame.search_pane()->row_count()) != hits) return state.SkipWithError("the list and the engine disagree");
  double n = double(state.iterations());
  state.counters["window_ms"] = 1000 * window / n;
  state.counters["engine_ms"] = 1000 * engine / n;
  state.counters["ratio"] = window / engine;
  state.counters["max_stall_ms"] = 1000 * stall;
  state.counters["hits"] = double(hits);
}

}  // namespace
}  // namespace lectern

int main(int argc, char** argv) {
  using namespace lectern;
  fs::path home = fs::temp_directory_path() / ("lectern-search-window-bench-home-" + std::to_string(getpid()));
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "search_window_bench needs a display: run it under scripts/with-display\n");
    return 1;
  }
  InstallFileInterception();
  static std::string book = PackHandbook(g_error);
  benchmark::RegisterBenchmark("EnterToList/handbook", BM_EnterToList, &book)->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(home, ignored);
  fs::remove_all(Scratch(), ignored);
  return 0;
}
