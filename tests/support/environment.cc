#include "tests/support/environment.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#endif

namespace lectern::testing {
namespace {

std::optional<std::string> Get(const char* name) {
#ifdef _WIN32
  // The system's own functions read the process environment, not the C runtime's copy of it.
  char value[32768];
  DWORD length = ::GetEnvironmentVariableA(name, value, sizeof value);
  if (length == 0 || length >= sizeof value) return std::nullopt;
  return std::string(value, length);
#else
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
#endif
}

void Put(const char* name, const char* value) {
#ifdef _WIN32
  ::SetEnvironmentVariableA(name, value);
  _putenv_s(name, value ? value : "");
#else
  if (value) setenv(name, value, 1);
  else unsetenv(name);
#endif
}

}  // namespace

ScopedEnvironment::~ScopedEnvironment() {
  for (auto& [name, value] : saved_) Put(name.c_str(), value ? value->c_str() : nullptr);
}

void ScopedEnvironment::Set(const char* name, const char* value) {
  if (!saved_.count(name)) saved_[name] = Get(name);
  Put(name, value);
}

}  // namespace lectern::testing
