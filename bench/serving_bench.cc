// Serving through the virtual file layer against reading the same entries straight from the
// archive, on a packed copy of a real HTML book; and streaming a 1 GB raw media entry with the
// resident memory it costs.
//
// The book tree comes from the debian-handbook package, fetched into bench/data/ on first run
// (apt-get download + dpkg-deb -x); without it those benchmarks are skipped with a message.
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

#include "archive/zpk.h"
#include "archive/zpk_writer.h"
#include "book/ebk_manager.h"
#include "datastore/datastore_path.h"
#include "datastore/posix_file_functions.h"
#include "datastore/serving.h"
#include "datastore/virtual_file_layer.h"

namespace fs = std::filesystem;
using namespace lectern;

namespace {

const fs::path kDataDir = fs::path(__FILE__).parent_path() / "data";
const fs::path kHandbookTree = kDataDir / "debian-handbook/usr/share/doc/debian-handbook/html";
const fs::path kHandbookBook = kDataDir / "debian-handbook.ebk";
const fs::path kRawSource = kDataDir / "raw-1g.bin";
const fs::path kRawBook = kDataDir / "raw-1g.ebk";
constexpr uint64_t kRawSize = uint64_t(1) << 30;

bool FetchHandbook() {
  if (fs::is_directory(kHandbookTree)) return true;
  fs::create_directories(kDataDir);
  std::string command = "cd '" + kDataDir.string() +
                        "' && apt-get download debian-handbook >/dev/null 2>&1 && "
                        "dpkg-deb -x debian-handbook_*.deb debian-handbook";
  return std::system(command.c_str()) == 0 && fs::is_directory(kHandbookTree);
}

bool IsPageOrImage(const fs::path& path) {
  static const std::vector<std::string> kinds = {".html", ".htm", ".png", ".svg", ".gif", ".jpg", ".jpeg"};
  return std::find(kinds.begin(), kinds.end(), path.extension().string()) != kinds.end();
}

// Book paths of every page and image, packed once into bench/data.
std::vector<std::string> PackHandbook() {
  std::vector<std::string> entries;
  std::vector<fs::path> all;
  for (const auto& item : fs::recursive_directory_iterator(kHandbookTree))
    if (item.is_regular_file()) all.push_back(item.path());
  std::sort(all.begin(), all.end());
  for (const fs::path& file : all)
    if (IsPageOrImage(file)) entries.push_back(fs::relative(file, kHandbookTree).generic_string());
  if (fs::exists(kHandbookBook)) return entries;

  ZpkWriterOptions options;
  options.compress_level = LzoCompressor::kLevelFast;
  ZpkWriter writer;
  if (!writer.Begin(kHandbookBook.string(), "", options)) return {};
  for (const fs::path& file : all) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!writer.AddFile(fs::relative(file, kHandbookTree).generic_string(),
                        std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))) {
      std::fprintf(stderr, "packing failed: %s\n", writer.error().c_str());
      return {};
    }
  }
  if (!writer.Finish()) return {};
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
  bool ready = false;
  std::vector<std::string> entries;
  uint64_t bytes = 0;
  CEbkManager* manager = nullptr;
};

Handbook& OpenHandbook() {
  static Handbook handbook = [] {
    Handbook h;
    if (!FetchHandbook()) return h;
    h.entries = PackHandbook();
    if (h.entries.empty()) return h;
    h.manager = CEbkManager::Create();
    if (h.manager->Open(Utf8ToWide(kHandbookBook.string()).c_str()) != S_OK) return h;
    std::vector<uint8_t> content;
    for (const std::string& entry : h.entries) {
      if (!h.manager->book().ReadWholeEntry(entry, content)) return h;
      h.bytes += content.size();
    }
    h.ready = true;
    return h;
  }();
  return handbook;
}

void BM_HandbookFromArchive(benchmark::State& state) {
  Handbook& handbook = OpenHandbook();
  if (!handbook.ready) {
    state.SkipWithError("debian-handbook unavailable (apt-get download debian-handbook failed)");
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
  if (!handbook.ready) {
    state.SkipWithError("debian-handbook unavailable (apt-get download debian-handbook failed)");
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
    state.SkipWithError("could not make the 1 GB raw book in bench/data");
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
