#include "common/run_tool.h"

#include <fcntl.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace lectern::testing {

#ifdef _WIN32
namespace {

// One argument as the runtime's command-line parser reads it back.
std::string Quoted(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(c);
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ToolRun RunTool(const std::string& binary, const std::vector<std::string>& args) {
  ToolRun run;
  TempDir scratch;
  std::string out_path = scratch.Join("out"), err_path = scratch.Join("err");
  std::string command = Quoted(binary);
  for (const std::string& a : args) command += " " + Quoted(a);
  HANDLE in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out = InheritableFile(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = InheritableFile(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process{};
  BOOL started = in != INVALID_HANDLE_VALUE && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                 ::CreateProcessA(binary.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
  for (HANDLE h : {in, out, err})
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  if (!started) return run;
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);
  ::CloseHandle(process.hThread);
  // A crash ends the process with an exception code, far above any exit status a tool gives.
  run.status = code > 255 ? 128 + int(code & 0x7F) : int(code);
  run.out = ReadWholeFile(out_path);
  run.err = ReadWholeFile(err_path);
  return run;
}
#else
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
#endif

std::map<std::string, std::string> SnapshotTree(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    std::string relative = fs::relative(it->path(), dir).generic_string();  // "/" on every system
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
