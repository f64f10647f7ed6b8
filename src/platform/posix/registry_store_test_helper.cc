// A second reader process for the registry tests. Commands:
//   set DB KEY NAME TEXT              writes TEXT as REG_SZ under HKEY_CURRENT_USER\KEY
//   get DB KEY NAME                   prints the REG_SZ value (without its NUL)
//   write-many DB KEY PREFIX COUNT SIZE
//                                     writes COUNT binary values PREFIX0.. of SIZE bytes each
//                                     (see Payload), printing each number once it is committed
//   lock DB                           holds the database locked against every other connection,
//                                     readers included, until stdin closes
//   hold-write DB                     holds an open write transaction until stdin closes
// Both lockers write inside their transaction and roll it back, so the file never changes.
// The exit code is the registry's result (0 for success), or 100 for a bad command line.
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/registry_store.h"
#include "platform/registry.h"

namespace lectern {
namespace {

std::string Payload(long index, long size) {
  std::string bytes(size_t(size), '\0');
  for (long j = 0; j < size; ++j) bytes[size_t(j)] = char((index * 31 + j) & 0xFF);
  return bytes;
}

int Set(const char* key_path, const char* name, const char* text) {
  RegistryKeyHolder key;
  if (LONG rc = RegistryCreateKey(HKEY_CURRENT_USER, key_path, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                  key.out(), nullptr))
    return int(rc);
  return int(RegistrySetValue(key.get(), name, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1)));
}

int Get(const char* key_path, const char* name) {
  RegistryKeyHolder key;
  if (LONG rc = RegistryOpenKey(HKEY_CURRENT_USER, key_path, KEY_READ, key.out())) return int(rc);
  DWORD size = 0;
  if (LONG rc = RegistryQueryValue(key.get(), name, nullptr, nullptr, &size)) return int(rc);
  std::string text(size, '\0');
  if (LONG rc = RegistryQueryValue(key.get(), name, nullptr, reinterpret_cast<BYTE*>(text.data()), &size))
    return int(rc);
  std::fwrite(text.data(), 1, std::strlen(text.c_str()), stdout);
  return 0;
}

int WriteMany(const char* key_path, const char* prefix, long count, long size) {
  RegistryKeyHolder key;
  if (LONG rc = RegistryCreateKey(HKEY_CURRENT_USER, key_path, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                  key.out(), nullptr))
    return int(rc);
  for (long i = 0; i < count; ++i) {
    std::string name = prefix + std::to_string(i);
    std::string bytes = Payload(i, size);
    if (LONG rc = RegistrySetValue(key.get(), name.c_str(), REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                                   DWORD(bytes.size())))
      return int(rc);
    std::printf("%ld\n", i);
    std::fflush(stdout);
  }
  return 0;
}

int Lock(const char* db_path, bool everyone) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(db_path, &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) return 1;
  if (everyone && sqlite3_exec(db, "PRAGMA locking_mode = EXCLUSIVE", nullptr, nullptr, nullptr) != SQLITE_OK) return 2;
  if (sqlite3_exec(db, "BEGIN EXCLUSIVE; CREATE TABLE lock_probe(x);", nullptr, nullptr, nullptr) != SQLITE_OK)
    return 3;
  std::printf("locked\n");
  std::fflush(stdout);
  char buffer[64];
  while (read(0, buffer, sizeof buffer) > 0) {
  }
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return 0;
}

}  // namespace
}  // namespace lectern

int main(int argc, char** argv) {
  using namespace lectern;
  if (argc < 3) return 100;
  std::string command = argv[1];
  if (command == "lock") return Lock(argv[2], true);
  if (command == "hold-write") return Lock(argv[2], false);
  UseRegistryStore({argv[2]});
  if (command == "set" && argc == 6) return Set(argv[3], argv[4], argv[5]);
  if (command == "get" && argc == 5) return Get(argv[3], argv[4]);
  if (command == "write-many" && argc == 7)
    return WriteMany(argv[3], argv[4], std::atol(argv[5]), std::atol(argv[6]));
  return 100;
}
