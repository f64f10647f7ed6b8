// Parse throughput of the XML parser on real multi-megabyte documents, against expat (a streaming
// parser, given empty handlers) and pugixml (a tree builder), when they were found at build time.
//
// Input: bench/data/xml/*.xml, made by scripts/xml-bench-data (or the folder in
// LECTERN_XML_BENCH_DIR). The counters speed_vs_expat and speed_vs_pugixml are the peers' time
// divided by ours over the same rounds (thread CPU time): above 1 means faster than the peer.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "book/xml/parse_xml.h"

#ifdef LECTERN_HAVE_EXPAT
#include <expat.h>
#endif
#ifdef LECTERN_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

namespace {

struct Input {
  std::string name, text;
};

const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = [] {
    std::vector<Input> found;
    const char* env = std::getenv("LECTERN_XML_BENCH_DIR");
    std::filesystem::path dir = env ? env : LECTERN_SOURCE_DIR "/bench/data/xml";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
      if (entry.path().extension() != ".xml") continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream buffer;
      buffer << in.rdbuf();
      found.push_back({entry.path().stem().string(), buffer.str()});
    }
    return found;
  }();
  return inputs;
}

bool ParseWithLectern(const std::string& text) {
  lectern::XmlParseResult result = lectern::ParseXml(text);
  benchmark::DoNotOptimize(result.document.get());
  return result.ok();
}

#ifdef LECTERN_HAVE_EXPAT
bool ParseWithExpat(const std::string& text) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  XML_SetElementHandler(parser, [](void*, const XML_Char*, const XML_Char**) {}, [](void*, const XML_Char*) {});
  XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int) {});
  bool ok = XML_Parse(parser, text.data(), int(text.size()), 1) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return ok;
}
#endif

#ifdef LECTERN_HAVE_PUGIXML
bool ParseWithPugixml(const std::string& text) {
  pugi::xml_document doc;
  bool ok = doc.load_buffer(text.data(), text.size());
  benchmark::DoNotOptimize(doc.first_child());
  return ok;
}
#endif

// Thread CPU time, which other work on a shared machine disturbs less than the wall clock.
double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double Seconds(bool (*parse)(const std::string&), const std::string& text, bool& ok) {
  double start = ThreadSeconds();
  ok = parse(text) && ok;
  return ThreadSeconds() - start;
}

// Each round parses the input with every parser in turn; the framework times ours alone.
void BM_XmlParse(benchmark::State& state, const Input* input) {
  double ours = 0, expat = 0, pugixml = 0;
  bool ok = true;
  for (auto _ : state) {
    ours += Seconds(ParseWithLectern, input->text, ok);
    state.PauseTiming();
#ifdef LECTERN_HAVE_EXPAT
    expat += Seconds(ParseWithExpat, input->text, ok);
#endif
#ifdef LECTERN_HAVE_PUGIXML
    pugixml += Seconds(ParseWithPugixml, input->text, ok);
#endif
    state.ResumeTiming();
  }
  if (!ok) state.SkipWithError("a parser rejected the input");
  double bytes = double(input->text.size()) * double(state.iterations());
  state.SetBytesProcessed(int64_t(bytes));
  state.counters["lectern_MBps"] = bytes / ours / 1e6;
  if (expat > 0) {
    state.counters["expat_MBps"] = bytes / expat / 1e6;
    state.counters["speed_vs_expat"] = expat / ours;
  }
  if (pugixml > 0) {
    state.counters["pugixml_MBps"] = bytes / pugixml / 1e6;
    state.counters["speed_vs_pugixml"] = pugixml / ours;
  }
}

void BM_NoInput(benchmark::State& state) {
  for (auto _ : state) {
  }
  state.SkipWithError("no input: run scripts/xml-bench-data first");
}

const bool registered = [] {
  for (const Input& input : Inputs())
    benchmark::RegisterBenchmark(("BM_XmlParse/" + input.name).c_str(), BM_XmlParse, &input)
        ->Unit(benchmark::kMillisecond);
  if (Inputs().empty()) benchmark::RegisterBenchmark("BM_XmlParse", BM_NoInput);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
