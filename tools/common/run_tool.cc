#include "common/run_tool.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace lectern::testing {

ToolRun RunTool(const std::string& binary, const std::vector<std::string>& args) {
  ToolRun run;
  TempDir scratch;
  std::string out_path = scratch.Join("out"), err_path = scratch.Join("err");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(binary.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  pid_t pid = ::fork();
  if (pid < 0) return run;
  if (pid == 0) {
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = ReadWholeFile(out_path);
  run.err = ReadWholeFile(err_path);
  return run;
}

std::map<std::string, std::string> SnapshotTree(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string relative = fs::relative(it->path(), dir).string();
    if (it->is_symlink()) {
      tree[relative] = "<link>";
    } else if (it->is_directory()) {
      tree[relative] = "<folder>";
    } else {
      tree[relative] = ReadWholeFile(it->path().string());
    }
  }
  return tree;
}

}  // namespace lectern::testing
