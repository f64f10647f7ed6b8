// Real files for tests: a fresh folder per test, removed with its contents afterwards.
#pragma once

#include <string>
#include <string_view>

namespace lectern::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name.
  std::string Join(std::string_view name) const;
  // Writes `bytes` to path()/name, creating the folders on the way; returns the full path.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};

// The whole content of a file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);
// Writes `bytes` to `path`, creating missing parent folders. Aborts the test binary on failure.
void WriteWholeFile(const std::string& path, std::string_view bytes);
// The source tree (for samples/), from LECTERN_SOURCE_DIR set by CTest.
std::string SourceDir();

}  // namespace lectern::testing
