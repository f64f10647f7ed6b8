// The reader's window on real pages: start-up to the start page's load-finished, and page-to-page
// navigation, for the sample book and the debian-handbook tree. Each is reported as a ratio to the
// same pages loaded as plain files from disk by the same view class in the same run: Preview Mode
// of a project over the same folder for start-up, file:// URLs in the same view for navigation.
//
// Needs a display: run under scripts/with-display. The handbook is fetched on first use; when that
// fails its benchmarks are skipped with the reason.
#include <benchmark/benchmark.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/zpk_writer.h"
#include "bench/bench_support.h"
#include "datastore/virtual_file_layer.h"
#include "platform/gtk/window/main_frame.h"

namespace lectern {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Pages {
  std::string folder;       // the pages on disk
  std::string start;        // start page, relative to the folder
  std::string second;       // another page, for navigation
  std::string book_path;    // the folder packed
  std::string project_path; // a project over the folder (Preview Mode)
  std::string error;
};

// The folder packed afresh (the sample changes with the tree) into bench/data/window_bench-NAME.ebk,
// and a project over it beside.
Pages Prepare(const std::string& name, const fs::path& folder, const std::string& start, const std::string& second) {
  Pages pages{folder.string(), start, second, "", "", ""};
  fs::path book = bench::BenchDataFolder() / ("window_bench-" + name + ".ebk");
  if (!bench::PackFolderToBook(folder, book, ZpkWriterOptions{}, {{"bookname", name}, {"start_page", start}},
                               pages.error))
    return pages;
  pages.book_path = book.string();
  pages.project_path = (bench::BenchDataFolder() / ("window_bench-" + name + ".bpj")).string();
  std::ofstream(pages.project_path) << "<p><config><title>" << name << "</title><ebook_directory>" << pages.folder
                                    << "</ebook_directory><start_page>" << start << "</start_page></config></p>";
  return pages;
}

// Runs the main loop until the view's current load has finished.
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

double StartUpSeconds(const std::string& path) {
  auto start = Clock::now();
  GtkMainFrame frame;
  if (!frame.Create(path)) return -1;
  frame.Show();
  WaitForLoadFinished(frame.view());
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_StartUp(benchmark::State& state, const Pages* pages) {
  if (!pages->error.empty()) return state.SkipWithError(pages->error.c_str());
  double book = 0, files = 0;
  for (auto _ : state) {
    book += StartUpSeconds(pages->book_path);
    files += StartUpSeconds(pages->project_path);
  }
  state.counters["book_ms"] = 1000 * book / double(state.iterations());
  state.counters["files_ms"] = 1000 * files / double(state.iterations());
  state.counters["ratio"] = book / files;
}

void BM_PageToPage(benchmark::State& state, const Pages* pages) {
  if (!pages->error.empty()) return state.SkipWithError(pages->error.c_str());
  GtkMainFrame frame;
  if (!frame.Create(pages->book_path)) return state.SkipWithError("the book did not open");
  frame.Show();
  WaitForLoadFinished(frame.view());
  auto time_loads = [&](const std::string& first, const std::string& second) {
    auto start = Clock::now();
    for (const std::string* url : {&first, &second}) {
      frame.Navigate(*url);
      WaitForLoadFinished(frame.view());
    }
    return std::chrono::duration<double>(Clock::now() - start).count() / 2;
  };
  std::string book_first = "file://c:/datastore/" + pages->start, book_second = "file://c:/datastore/" + pages->second;
  std::string disk_first = "file://" + pages->folder + "/" + pages->start;
  std::string disk_second = "file://" + pages->folder + "/" + pages->second;
  time_loads(book_first, book_second);  // warm both paths once
  time_loads(disk_first, disk_second);
  double book = 0, files = 0;
  for (auto _ : state) {
    book += time_loads(book_first, book_second);
    files += time_loads(disk_first, disk_second);
  }
  state.counters["book_ms"] = 1000 * book / double(state.iterations());
  state.counters["files_ms"] = 1000 * files / double(state.iterations());
  state.counters["ratio"] = book / files;
}

}  // namespace
}  // namespace lectern

int main(int argc, char** argv) {
  using namespace lectern;
  fs::path home = fs::temp_directory_path() / ("lectern-window-bench-home-" + std::to_string(getpid()));
  setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
  if (!gtk_init_check(&argc, &argv)) {
    fprintf(stderr, "window_bench needs a display: run it under scripts/with-display\n");
    return 1;
  }
  InstallFileInterception();
  static Pages sample = Prepare("guide", fs::path(LECTERN_SOURCE_DIR) / "samples/guide", "index.html",
                                "pages/searching.html");
  benchmark::RegisterBenchmark("StartUp/sample", BM_StartUp, &sample)->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("PageToPage/sample", BM_PageToPage, &sample)->Iterations(20)->Unit(benchmark::kMillisecond);
  static Pages handbook;
  fs::path html = bench::HandbookHtml(handbook.error);
  if (!html.empty()) handbook = Prepare("handbook", html, "en-US/index.html", "en-US/packaging-system.html");
  benchmark::RegisterBenchmark("StartUp/handbook", BM_StartUp, &handbook)->Iterations(5)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("PageToPage/handbook", BM_PageToPage, &handbook)->Iterations(20)->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(home, ignored);
  return 0;
}
