#include "datastore/file_functions.h"

#include <chrono>
#include <cstring>

namespace lectern {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

bool IsUtf8Continuation(char c) { return (uint8_t(c) & 0xC0) == 0x80; }
bool IsHighSurrogate(OLECHAR c) { return c >= 0xD800 && c <= 0xDBFF; }

}  // namespace

void SetFindName(WIN32_FIND_DATAA& data, std::string_view name) {
  size_t room = sizeof(data.cFileName) - 1;
  size_t n = name.size();
  if (n > room) {
    n = room;
    while (n > 0 && IsUtf8Continuation(name[n])) --n;
  }
  std::memcpy(data.cFileName, name.data(), n);
  data.cFileName[n] = '\0';
}

void SetFindName(WIN32_FIND_DATAW& data, WideStringView name) {
  size_t room = sizeof(data.cFileName) / sizeof(data.cFileName[0]) - 1;
  size_t n = name.size();
  if (n > room) {
    n = room;
    if (IsHighSurrogate(name[n - 1])) --n;
  }
  for (size_t i = 0; i < n; ++i) data.cFileName[i] = name[i];
  data.cFileName[n] = 0;
}

std::string NarrowPathToUtf8(const char* path) {
  if (!path) return {};
#ifdef _WIN32
  int length = ::MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
  if (length <= 1) return {};
  WideString wide(size_t(length), 0);
  ::MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
  wide.resize(size_t(length - 1));
  return WideToUtf8(wide);
#else
  return path;
#endif
}

FILETIME FileTimeFromUnix(int64_t seconds, int64_t nanoseconds) {
  int64_t ticks = (seconds + kSecondsFrom1601To1970) * 10000000 + nanoseconds / 100;
  if (ticks < 0) ticks = 0;
  return FILETIME{DWORD(uint64_t(ticks)), DWORD(uint64_t(ticks) >> 32)};
}

FILETIME CurrentFileTime() {
  auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch - seconds);
  return FileTimeFromUnix(seconds.count(), nanoseconds.count());
}

}  // namespace lectern
