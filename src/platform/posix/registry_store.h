// The registry's keys and values kept in one SQLite database per user.
//
// Every change is one transaction, the database runs with a write-ahead log and waits a while
// for a lock held by another process, so readers running side by side and a reader killed in
// the middle of a write lose nothing that was committed. A database that is damaged, belongs to
// something else, or stays locked past the wait gives a failure code and is never written,
// repaired or replaced: the user's data stays exactly as it was.
//
// One store is used by one thread at a time; the process-wide registry serialises its calls.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"

struct sqlite3;

namespace lectern {

// Keys are rows with a stable number: a key deleted and made again gets a new one, so a handle
// on the old key can tell that it is gone.
using RegistryKeyId = int64_t;

class RegistryStore {
 public:
  struct Options {
    std::string path;
    int busy_timeout_ms = 5000;
  };
  static constexpr RegistryKeyId kClassesRoot = 1;
  static constexpr RegistryKeyId kCurrentUser = 2;

  // Opens the database at `options.path`, making its folder (private to the user) and an empty
  // store on first use. ERROR_SUCCESS with `*store` set, or a failure code with `*store` empty.
  static LONG Open(const Options& options, std::unique_ptr<RegistryStore>* store);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  // `path` is a '\'-separated subkey path under `parent`; "" names `parent` itself.
  LONG FindKey(RegistryKeyId parent, std::string_view path, RegistryKeyId* key);
  LONG CreateKey(RegistryKeyId parent, std::string_view path, RegistryKeyId* key, bool* created);
  LONG DeleteKey(RegistryKeyId parent, std::string_view path);
  // `name` "" is the default value.
  LONG QueryValue(RegistryKeyId key, std::string_view name, DWORD* type, std::string* data);
  LONG SetValue(RegistryKeyId key, std::string_view name, DWORD type, std::string_view data);
  LONG DeleteValue(RegistryKeyId key, std::string_view name);

 private:
  explicit RegistryStore(sqlite3* db) : db_(db) {}
  LONG KeyExists(RegistryKeyId key);
  LONG FindChild(RegistryKeyId parent, std::string_view name, RegistryKeyId* child);
  LONG Walk(RegistryKeyId parent, std::string_view path, RegistryKeyId* key);

  sqlite3* db_;
};

// The per-user database: "registry.db" in the reader's configuration folder; "" when the user
// has no such folder.
std::string DefaultRegistryStorePath();

// Points the process-wide registry at another database (tests, or a caller that knows better).
// Every open key handle is closed; the database is opened on the next call.
void UseRegistryStore(RegistryStore::Options options);

}  // namespace lectern
