// The full-text search over a real book: the debian-handbook HTML tree (every language), packed
// into an archive here. Reported as ratios to a floor measured in the same run: reading every
// searchable entry once (decompressed) and one ASCII case-insensitive scan of it, single-threaded.
//
// The tree is fetched at bench time into bench/data/ (git-ignored) with
// `apt-get download debian-handbook` and `dpkg-deb -x`; without it the benchmark is skipped.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <thread>

#include <time.h>

#include "archive/zpk_writer.h"
#include "panes/search_engine.h"

namespace lectern {
namespace {

namespace fs = std::filesystem;

constexpr const char* kQuery = "package repository";

fs::path DataFolder() { return fs::path(__FILE__).parent_path() / "data"; }
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

struct PackedBook {
  std::string path;
  CEbkManager* manager = nullptr;
  std::string error;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Packs the tree once per process, in sorted path order.
PackedBook& Book() {
  static PackedBook book = [] {
    PackedBook b;
    if (!FetchHandbook()) {
      b.error = "debian-handbook not available (apt-get download failed)";
      return b;
    }
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(HandbookFolder()))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    b.path = (fs::temp_directory_path() / ("lectern-search-bench-" + std::to_string(getpid()) + ".ebk")).string();
    ZpkWriter writer;
    ZpkWriterOptions options;
    options.compress_level = LzoCompressor::kLevelFast;
    bool ok = writer.Begin(b.path, "", options);
    for (const fs::path& file : files) {
      if (!ok) break;
      std::string content = ReadAll(file);
      std::string name = fs::relative(file, HandbookFolder()).generic_string();
      ok = writer.AddFile(name, std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()));
    }
    if (!ok || !writer.Finish()) {
      b.error = "packing failed: " + writer.error();
      return b;
    }
    b.manager = CEbkManager::Create();
    if (b.manager->Open(Utf8ToWide(b.path).c_str()) != S_OK) b.error = "cannot open the packed book";
    std::atexit([] { std::remove(Book().path.c_str()); });
    return b;
  }();
  return book;
}

// The floor: every searchable entry decompressed once and scanned once for the first word, ASCII
// letter case ignored.
size_t Floor(IEbkManager* manager, const std::vector<std::string>& files, std::string_view word) {
  std::vector<uint8_t> buffer;
  std::string lowered;
  size_t found = 0;
  for (const std::string& path : files) {
    WideString wide = Utf8ToWide(path);
    uint32_t size = 0;
    if (manager->ReadFile(wide.c_str(), nullptr, &size) != S_OK || size == 0) continue;
    if (buffer.size() < size) buffer.resize(size);
    if (manager->ReadFile(wide.c_str(), buffer.data(), &size) != S_OK) continue;
    lowered.resize(size);
    for (uint32_t i = 0; i < size; ++i) {
      uint8_t c = buffer[i];
      lowered[i] = char(c >= 'A' && c <= 'Z' ? c + 32 : c);
    }
    if (memmem(lowered.data(), lowered.size(), word.data(), word.size())) ++found;
  }
  return found;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double ProcessCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// CPU time of the calling thread: other work on a shared machine does not inflate it.
double ThreadCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_SearchTwoWords(benchmark::State& state) {
  PackedBook& book = Book();
  if (!book.error.empty()) {
    state.SkipWithError(book.error.c_str());
    return;
  }
  const FileSystem& tree = book.manager->book().directory();
  const std::vector<std::string> files = SearchableFiles(tree);
  double floor = 1e9, single = 1e9, parallel = 1e9, floor_cpu = 1e9, single_cpu = 1e9, parallel_cpu = 1e9;
  size_t hits = 0;
  for (auto _ : state) {
    double c0 = ThreadCpuSeconds();
    auto t0 = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(Floor(book.manager, files, "package"));
    auto t1 = std::chrono::steady_clock::now();
    double c1 = ThreadCpuSeconds();
    auto one = SearchBook(kQuery, book.manager, nullptr, {1, nullptr});
    auto t2 = std::chrono::steady_clock::now();
    double c2 = ThreadCpuSeconds();
    double p2 = ProcessCpuSeconds();
    auto all = SearchBook(kQuery, book.manager, nullptr, {0, nullptr});
    auto t3 = std::chrono::steady_clock::now();
    parallel_cpu = std::min(parallel_cpu, ProcessCpuSeconds() - p2);
    if (one->hits.size() != all->hits.size()) state.SkipWithError("parallel hits differ from single-threaded hits");
    hits = one->hits.size();
    floor = std::min(floor, Seconds(t1 - t0));
    single = std::min(single, Seconds(t2 - t1));
    parallel = std::min(parallel, Seconds(t3 - t2));
    floor_cpu = std::min(floor_cpu, c1 - c0);
    single_cpu = std::min(single_cpu, c2 - c1);
  }
  state.counters["files"] = double(files.size());
  state.counters["hits"] = double(hits);
  state.counters["threads"] = double(std::max(1u, std::thread::hardware_concurrency()));
  state.counters["floor_ms"] = floor * 1e3;
  state.counters["single_ms"] = single * 1e3;
  state.counters["parallel_ms"] = parallel * 1e3;
  state.counters["single_over_floor"] = single / floor;
  state.counters["single_over_floor_cpu"] = single_cpu / floor_cpu;
  state.counters["parallel_speedup"] = single / parallel;
  // Work the pool spends over the single thread's: near 1 means the speed-up is the free cores'.
  state.counters["parallel_cpu_over_single_cpu"] = parallel_cpu / single_cpu;
}
BENCHMARK(BM_SearchTwoWords)->Iterations(7)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace lectern

BENCHMARK_MAIN();
