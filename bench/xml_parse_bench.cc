// Parse throughput of the XML parser on real multi-megabyte documents, against expat (a streaming
// parser, given empty handlers) and pugixml (a tree builder), when they were found at build time.
//
// Input: two large documents from Debian packages, fetched on first use. The counters
// speed_vs_expat and speed_vs_pugixml are the peers' time divided by ours over the same rounds
// (thread CPU time): above 1 means faster than the peer.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "book/xml/parse_xml.h"
#include "tests/support/fetched_data.h"

#ifdef LECTERN_HAVE_EXPAT
#include <expat.h>
#endif
#ifdef LECTERN_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

namespace {

struct Input {
  std::string name, text;
  std::string error;  // why it could not be read, when it could not
};

// Two multi-megabyte XML files from Debian packages, fetched on first use: the MIME database and
// the Vulkan API registry.
const std::vector<Input>& Inputs() {
  static const std::vector<Input> inputs = [] {
    struct Source {
      const char* name;
      const char* package;
      const char* path;
    };
    const Source sources[] = {{"mime-database", "shared-mime-info", "usr/share/mime/packages/freedesktop.org.xml"},
                              {"vulkan-registry", "libvulkan-dev", "usr/share/vulkan/registry/vk.xml"}};
    std::vector<Input> found;
    for (const Source& source : sources) {
      Input input{source.name, "", ""};
      std::string why;
      std::filesystem::path root = lectern::testing::FetchData(source.package, &why);
      std::ifstream in(root / source.path, std::ios::binary);
      if (root.empty()) {
        input.error = std::string("the package ") + source.package + " could not be fetched: " + why;
      } else if (!in) {
        input.error = "cannot read " + (root / source.path).string();
      } else {
        std::ostringstream buffer;
        buffer << in.rdbuf();
        input.text = buffer.str();
      }
      found.push_back(std::move(input));
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
  if (!input->error.empty()) return state.SkipWithError(input->error.c_str());
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

}  // namespace

int main(int argc, char** argv) {
  for (const Input& input : Inputs())
    benchmark::RegisterBenchmark(("BM_XmlParse/" + input.name).c_str(), BM_XmlParse, &input)
        ->Unit(benchmark::kMillisecond);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
