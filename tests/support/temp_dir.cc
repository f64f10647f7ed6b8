#include "tests/support/temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace lectern::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
#ifdef _WIN32
  // No mkdtemp there: a random name, taken only when the folder did not exist.
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("lectern-test-" + std::to_string(random()));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) path_ = candidate.string();
  }
  if (path_.empty()) {
    std::fprintf(stderr, "cannot make a test folder\n");
    std::abort();
  }
#else
  std::string templ = (fs::temp_directory_path() / "lectern-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) {
    std::perror("mkdtemp");
    std::abort();
  }
  path_ = templ;
#endif
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::Join(std::string_view name) const { return path_ + "/" + std::string(name); }

std::string TempDir::Write(std::string_view name, std::string_view bytes) const {
  std::string full = Join(name);
  WriteWholeFile(full, bytes);
  return full;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, std::string_view bytes) {
  fs::path p(path);
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::abort();
  }
}

std::string SourceDir() {
  const char* dir = std::getenv("LECTERN_SOURCE_DIR");
  return dir ? dir : ".";
}

}  // namespace lectern::testing
