// Serving through the virtual file layer against reading the same entries straight from the
// archive, on a packed copy of a real HTML book; and streaming a 1 GB raw media entry with the
// resident memory it costs.
//
// The book is the debian-handbook package's HTML tree, fetched and packed on first use; when that
// fails those benchmarks are skipped with the reason.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/file_system.h"
#include "archive/zpk.h"
#include "archive/zpk_writer.h"
#include "bench/bench_support.h"
#include "book/ebk_manager.h"
#include "datastore/datastore_path.h"
#include "datastore/posix_file_functions.h"
#include "datastore/serving.h"
#include "datastore/virtual_file_layer.h"

namespace fs = std::filesystem;
using namespace lectern;

namespace {

const fs::path kRawSource = bench::BenchDataFolder() / "serving_bench-raw-1g.bin";
const fs::path kRawBook = bench::BenchDataFolder() / "serving_bench-raw-1g.ebk";
constexpr uint64_t kRawSize = uint64_t(1) << 30;

bool IsPageOrImage(const fs::path& path) {
  static const std::vector<std::string> kinds = {".html", ".htm", ".png", ".svg", ".gif", ".jpg", ".jpeg"};
  return std::find(kinds.begin(), kinds.end(), path.extension().string()) != kinds.end();
}

// Book paths of every page and image in the handbook's tree.
std::vector<std::string> PagesAndImages(const FileSystem& tree) {
  std::vector<std::string> entries;
  std::vector<std::pair<const FsNode*, std::string>> stack{{tree.root(), ""}};
  while (!stack.empty()) {
    auto [folder, prefix] = stack.back();
    stack.pop_back();
    for (const auto& child : folder->children) {
      std::string path = prefix.empty() ? child->name : prefix + "/" + child->name;
      if (child->is_directory()) {
        stack.push_back({child.get(), path});
      } else if (IsPageOrImage(child->name)) {
        entries.push_back(path);
      }
    }
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

bool PackRawBook() {
  if (fs::exists(kRawBook)) return true;
  if (!fs::exists(kRawSource) || fs::file_size(kRawSource) != kRawSize) {
    std::ofstream out(kRawSource, std::ios::binary | std::ios::trunc);
    std::mt19937_64 gen(1);
    std::vector<uint64_t> block(1 << 17);
    for (uint64_t written = 0; written < kRawSize; written += block.size() * 8) {
      for (uint64_t& word : block) word = gen();
      out.write(reinterpret_cast<const char*>(block.data()), std::streamsize(block.size() * 8));
    }
    if (!out) return false;
  }
  ZpkWriter writer;
  ZpkWriterOptions options;
  options.compress_level = LzoCompressor::kLevelFast;
  return writer.Begin(kRawBook.string(), "", options) && writer.AddRawFile("media/big.webm", kRawSource.string()) &&
         writer.Finish();
}

uint64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  uint64_t total = 0, resident = 0;
  statm >> total >> resident;
  return resident * uint64_t(sysconf(_SC_PAGESIZE));
}

struct Handbook {
  std::string error;  // why the benchmarks on it are skipped, when they are
  std::vector<std::string> entries;
  uint64_t bytes = 0;
  CEbkManager* manager = nullptr;
};

Handbook& OpenHandbook() {
  static Handbook handbook = [] {
    Handbook h;
    ZpkWriterOptions options;
    options.compress_level = LzoCompressor::kLevelFast;
    std::string book = bench::PackedHandbook("serving_bench", options, {}, h.error);
    if (book.empty()) return h;
    h.manager = CEbkManager::Create();
    if (h.manager->Open(Utf8ToWide(book).c_str()) != S_OK) {
      h.error = "cannot open " + book;
      return h;
    }
    h.entries = PagesAndImages(h.manager->book().directory());
    std::vector<uint8_t> content;
    for (const std::string& entry : h.entries) {
      if (!h.manager->book().ReadWholeEntry(entry, content)) {
        h.error = "cannot read " + entry + " from " + book;
        return h;
      }
      h.bytes += content.size();
    }
    return h;
  }();
  return handbook;
}

void BM_HandbookFromArchive(benchmark::State& state) {
  Handbook& handbook = OpenHandbook();
  if (!handbook.error.empty()) {
    state.SkipWithError(handbook.error.c_str());
    return;
  }
  std::vector<uint8_t> content;
  for (auto _ : state) {
    for (const std::string& entry : handbook.entries) {
      handbook.manager->book().ReadWholeEntry(entry, content);
      benchmark::DoNotOptimize(content.data());
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations() * handbook.bytes));
  state.counters["entries"] = double(handbook.entries.size());
}

void BM_HandbookServed(benchmark::State& state) {
  Handbook& handbook = OpenHandbook();
  if (!handbook.error.empty()) {
    state.SkipWithError(handbook.error.c_str());
    return;
  }
  PublishEbkManager(handbook.manager);
  PosixFileFunctions real;
  VirtualFileLayer layer(real);
  layer.Install();
  std::vector<std::string> urls;
  for (const std::string& entry : handbook.entries) urls.push_back(DatastoreUrl(entry));
  std::vector<char> buffer(1 << 16);
  uint64_t served = 0;
  for (auto _ : state) {
    for (const std::string& url : urls) {
      ServedFile file;
      if (ServeDatastoreRequest(url, layer, file) != ServeResult::kServed) {
        state.SkipWithError(("not served: " + url).c_str());
        return;
      }
      for (int64_t n; (n = file.reader->Read(buffer.data(), buffer.size())) > 0;) served += uint64_t(n);
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  if (served != state.iterations() * handbook.bytes) state.SkipWithError("served bytes differ from the archive's");
  state.SetBytesProcessed(int64_t(state.iterations() * handbook.bytes));
  PublishEbkManager(nullptr);
}

void BM_RawGigabyteStreamed(benchmark::State& state) {
  if (!PackRawBook()) {
    state.SkipWithError(("could not make the 1 GB raw book " + kRawBook.string()).c_str());
    return;
  }
  CEbkManager* manager = CEbkManager::Create();
  if (manager->Open(Utf8ToWide(kRawBook.string()).c_str()) != S_OK) {
    manager->Release();
    state.SkipWithError("could not open the raw book");
    return;
  }
  PublishEbkManager(manager);
  PosixFileFunctions real;
  VirtualFileLayer layer(real);
  layer.Install();
  std::vector<char> buffer(1 << 16);
  uint64_t growth = 0;
  for (auto _ : state) {
    uint64_t before = ResidentBytes();
    ServedFile file;
    if (ServeDatastoreRequest("file:///c:/datastore/media/big.webm", layer, file) != ServeResult::kServed ||
        file.length != kRawSize) {
      state.SkipWithError("raw entry not served");
      break;
    }
    uint64_t total = 0, peak = before;
    for (int64_t n; (n = file.reader->Read(buffer.data(), buffer.size())) > 0;) {
      total += uint64_t(n);
      if ((total & ((uint64_t(1) << 26) - 1)) == 0) peak = std::max(peak, ResidentBytes());
    }
    peak = std::max(peak, ResidentBytes());
    growth = std::max(growth, peak - before);
    if (total != kRawSize) state.SkipWithError("short stream");
  }
  state.SetBytesProcessed(int64_t(state.iterations() * kRawSize));
  state.counters["rss_growth_MB"] = double(growth) / double(1 << 20);
  std::printf("raw 1 GB stream: resident memory growth %.2f MB (limit 16 MB)\n", double(growth) / double(1 << 20));
  PublishEbkManager(nullptr);
  layer.Remove();
  manager->Release();
}

BENCHMARK(BM_HandbookFromArchive)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_HandbookServed)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_RawGigabyteStreamed)->Unit(benchmark::kMillisecond)->Iterations(2);

// Keeps each run's time per iteration, for the ratio printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (!run.error_occurred && run.iterations > 0) {
        real_seconds[run.run_name.function_name] = run.GetAdjustedRealTime();
        cpu_seconds[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> real_seconds, cpu_seconds;
};

void PrintRatio(const char* what, std::map<std::string, double>& seconds) {
  auto archive = seconds.find("BM_HandbookFromArchive");
  auto served = seconds.find("BM_HandbookServed");
  if (archive == seconds.end() || served == seconds.end()) return;
  std::printf("serving / archive throughput ratio (%s time): %.3f (goal >= 0.9)\n", what,
              archive->second / served->second);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // CPU time is the steadier measure on a machine shared with other work; wall time is printed too.
  PrintRatio("CPU", reporter.cpu_seconds);
  PrintRatio("wall", reporter.real_seconds);
  benchmark::Shutdown();
  return 0;
}
