// Environment variables set for one test and put back as they were afterwards.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace lectern::testing {

// The variable the system's temporary folder is taken from first.
#ifdef _WIN32
inline constexpr char kTemporaryFolderVariable[] = "TMP";
#else
inline constexpr char kTemporaryFolderVariable[] = "TMPDIR";
#endif

class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

  // Sets `name` to `value`, or removes it for a null value.
  void Set(const char* name, const char* value);

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace lectern::testing
