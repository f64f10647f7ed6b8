// Runs a tool binary as a child process, for tests that drive the real tools.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace lectern::testing {

struct ToolRun {
  // The exit status; 128 + the signal when the tool was killed by one (a crash shows as >= 128).
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `binary` with `args`, standard input from /dev/null, and collects both outputs.
ToolRun RunTool(const std::string& binary, const std::vector<std::string>& args);

// Every file and folder under `dir` by relative path: a file's content, or "<folder>" (links are
// listed as "<link>"), for comparing trees byte for byte.
std::map<std::string, std::string> SnapshotTree(const std::string& dir);

}  // namespace lectern::testing
