#include "platform/posix/registry_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/user_folders.h"

namespace lectern {
namespace {

// "LctR": tells our database apart from any other SQLite file that might sit at the path.
constexpr int32_t kApplicationId = 0x4C637452;
constexpr int32_t kSchemaVersion = 1;
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;

constexpr const char* kCreateSchema =
    "CREATE TABLE IF NOT EXISTS keys("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  parent INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  UNIQUE(parent, name));"
    "CREATE TABLE IF NOT EXISTS vals("
    "  key INTEGER NOT NULL,"
    "  name TEXT NOT NULL COLLATE NOCASE,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, name)) WITHOUT ROWID;"
    "INSERT OR IGNORE INTO keys(id, parent, name) VALUES"
    "  (1, 0, 'HKEY_CLASSES_ROOT'), (2, 0, 'HKEY_CURRENT_USER');"
    "PRAGMA user_version = 1;"
    "PRAGMA application_id = 1281586258;";
static_assert(kApplicationId == 1281586258);

LONG FromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
      return ERROR_REGISTRY_CORRUPT;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

// One prepared statement, finalised with its holder. Errors are kept in `rc` so a chain of binds
// and steps needs one check at the end.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& Bind(int index, int64_t value) {
    if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_int64(stmt_, index, value);
    return *this;
  }
  Statement& BindText(int index, std::string_view text) {
    // A null pointer would bind SQL NULL, which matches no name.
    if (rc_ == SQLITE_OK) rc_ = sqlite3_bind_text(stmt_, index, text.empty() ? "" : text.data(), int(text.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& BindBlob(int index, std::string_view bytes) {
    if (rc_ != SQLITE_OK) return *this;
    // A null pointer would bind SQL NULL; an empty value is a zero-length blob.
    rc_ = bytes.empty() ? sqlite3_bind_zeroblob(stmt_, index, 0)
                        : sqlite3_bind_blob(stmt_, index, bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
    return *this;
  }
  // SQLITE_ROW, SQLITE_DONE or an error.
  int Step() {
    if (rc_ != SQLITE_OK && rc_ != SQLITE_ROW) return rc_;
    rc_ = sqlite3_step(stmt_);
    return rc_;
  }
  int64_t Int(int column) const { return sqlite3_column_int64(stmt_, column); }
  std::string Text(int column) const {
    auto* text = sqlite3_column_text(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), size_t(sqlite3_column_bytes(stmt_, column))) : "";
  }
  std::string Blob(int column) const {
    auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt_, column));
    return bytes ? std::string(bytes, size_t(sqlite3_column_bytes(stmt_, column))) : "";
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_;
};

LONG Execute(sqlite3* db, const char* sql) { return FromSqlite(sqlite3_exec(db, sql, nullptr, nullptr, nullptr)); }

// A transaction rolled back unless committed. Writers begin IMMEDIATE so that they wait for the
// write lock up front instead of failing half-way on an upgrade.
class Transaction {
 public:
  Transaction(sqlite3* db, bool write) : db_(db) {
    result_ = Execute(db, write ? "BEGIN IMMEDIATE" : "BEGIN");
    open_ = result_ == ERROR_SUCCESS;
  }
  ~Transaction() {
    if (open_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  LONG result() const { return result_; }
  LONG Commit() {
    LONG rc = Execute(db_, "COMMIT");
    if (rc == ERROR_SUCCESS) open_ = false;
    return rc;
  }

 private:
  sqlite3* db_;
  LONG result_;
  bool open_;
};

LONG SplitKeyPath(std::string_view path, std::vector<std::string_view>* parts) {
  parts->clear();
  if (path.empty()) return ERROR_SUCCESS;
  size_t start = 0;
  while (true) {
    size_t end = path.find('\\', start);
    std::string_view part = path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty() || part.size() > kMaxKeyNameLength || part.find('\0') != std::string_view::npos)
      return ERROR_INVALID_PARAMETER;
    parts->push_back(part);
    if (end == std::string_view::npos) return ERROR_SUCCESS;
    start = end + 1;
  }
}

LONG CheckValueName(std::string_view name) {
  if (name.size() > kMaxValueNameLength || name.find('\0') != std::string_view::npos) return ERROR_INVALID_PARAMETER;
  return ERROR_SUCCESS;
}

bool MakeFolderChain(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st {};
  if (stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = folder.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolderChain(folder.substr(0, slash))) return false;
  if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  return false;
}

// What sits at the path: nothing yet, our store, or something we must leave alone.
enum class Contents { kEmpty, kOurs, kOther };

LONG Inspect(sqlite3* db, Contents* contents) {
  Statement info(db,
                 "SELECT (SELECT application_id FROM pragma_application_id),"
                 "       (SELECT user_version FROM pragma_user_version),"
                 "       (SELECT count(*) FROM sqlite_schema),"
                 "       (SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN ('keys', 'vals'))");
  int rc = info.Step();
  if (rc != SQLITE_ROW) return FromSqlite(rc);
  int64_t application_id = info.Int(0), version = info.Int(1), objects = info.Int(2), tables = info.Int(3);
  if (application_id == 0 && version == 0 && objects == 0) {
    *contents = Contents::kEmpty;
  } else if (application_id == kApplicationId && version == kSchemaVersion && tables == 2) {
    *contents = Contents::kOurs;
  } else {
    *contents = Contents::kOther;
  }
  return ERROR_SUCCESS;
}

// Reads every page once: a damaged file is refused before anything is written to it.
LONG QuickCheck(sqlite3* db) {
  Statement check(db, "PRAGMA quick_check(1)");
  int rc = check.Step();
  if (rc != SQLITE_ROW) return FromSqlite(rc);
  return check.Text(0) == "ok" ? ERROR_SUCCESS : ERROR_REGISTRY_CORRUPT;
}

// Switching the journal needs the file to itself, and the database library answers "busy" at
// once rather than wait (another process may be opening the store at the same moment), so the
// wait is done here, up to the same limit as any other lock.
LONG UseWriteAheadLog(sqlite3* db, int busy_timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(busy_timeout_ms);
  while (true) {
    LONG rc = Execute(db, "PRAGMA journal_mode = WAL");
    if (rc != ERROR_BUSY || std::chrono::steady_clock::now() >= deadline) return rc;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

LONG Prepare(sqlite3* db, int busy_timeout_ms) {
  if (LONG rc = QuickCheck(db)) return rc;
  Contents contents;
  if (LONG rc = Inspect(db, &contents)) return rc;
  if (contents == Contents::kOther) return ERROR_REGISTRY_CORRUPT;
  if (LONG rc = UseWriteAheadLog(db, busy_timeout_ms)) return rc;
  if (contents == Contents::kOurs) return ERROR_SUCCESS;

  // Another process may be making the store at the same moment: look again under the write lock.
  Transaction transaction(db, true);
  if (transaction.result()) return transaction.result();
  if (LONG rc = Inspect(db, &contents)) return rc;
  if (contents == Contents::kOther) return ERROR_REGISTRY_CORRUPT;
  if (contents == Contents::kEmpty) {
    if (LONG rc = Execute(db, kCreateSchema)) return rc;
  }
  return transaction.Commit();
}

}  // namespace

LONG RegistryStore::Open(const Options& options, std::unique_ptr<RegistryStore>* store) {
  store->reset();
  if (options.path.empty()) return ERROR_REGISTRY_IO_FAILED;
  size_t slash = options.path.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolderChain(options.path.substr(0, slash)))
    return ERROR_REGISTRY_IO_FAILED;
  // Made here, private to the user, before the database library would make it readable by all.
  int fd = ::open(options.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) ::close(fd);

  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(options.path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    LONG result = db ? FromSqlite(sqlite3_extended_errcode(db)) : ERROR_NOT_ENOUGH_MEMORY;
    sqlite3_close(db);
    return result == ERROR_SUCCESS ? ERROR_REGISTRY_IO_FAILED : result;
  }
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, options.busy_timeout_ms);
  // Written lazily, as the system's own registry is: a commit reaches the log without waiting for
  // the disk, so a slow disk never holds the window (which writes its place as the user reads) or
  // another process waiting for the lock. A process that ends or is killed loses nothing it
  // committed; a machine that stops may lose the last changes, never the store's consistency.
  sqlite3_exec(db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
  if (LONG result = Prepare(db, options.busy_timeout_ms)) {
    sqlite3_close(db);
    return result;
  }
  store->reset(new RegistryStore(db));
  return ERROR_SUCCESS;
}

RegistryStore::~RegistryStore() { sqlite3_close(db_); }

LONG RegistryStore::KeyExists(RegistryKeyId key) {
  Statement find(db_, "SELECT 1 FROM keys WHERE id = ?");
  int rc = find.Bind(1, key).Step();
  if (rc == SQLITE_DONE) return ERROR_KEY_DELETED;
  return FromSqlite(rc);
}

LONG RegistryStore::FindChild(RegistryKeyId parent, std::string_view name, RegistryKeyId* child) {
  Statement find(db_, "SELECT id FROM keys WHERE parent = ? AND name = ?");
  int rc = find.Bind(1, parent).BindText(2, name).Step();
  if (rc == SQLITE_DONE) return ERROR_FILE_NOT_FOUND;
  if (rc != SQLITE_ROW) return FromSqlite(rc);
  *child = find.Int(0);
  return ERROR_SUCCESS;
}

LONG RegistryStore::Walk(RegistryKeyId parent, std::string_view path, RegistryKeyId* key) {
  std::vector<std::string_view> parts;
  if (LONG rc = SplitKeyPath(path, &parts)) return rc;
  if (LONG rc = KeyExists(parent)) return rc;
  RegistryKeyId at = parent;
  for (std::string_view part : parts) {
    if (LONG rc = FindChild(at, part, &at)) return rc;
  }
  *key = at;
  return ERROR_SUCCESS;
}

LONG RegistryStore::FindKey(RegistryKeyId parent, std::string_view path, RegistryKeyId* key) {
  Transaction transaction(db_, false);
  if (transaction.result()) return transaction.result();
  return Walk(parent, path, key);
}

LONG RegistryStore::CreateKey(RegistryKeyId parent, std::string_view path, RegistryKeyId* key, bool* created) {
  std::vector<std::string_view> parts;
  if (LONG rc = SplitKeyPath(path, &parts)) return rc;
  Transaction transaction(db_, true);
  if (transaction.result()) return transaction.result();
  if (LONG rc = KeyExists(parent)) return rc;
  RegistryKeyId at = parent;
  bool made = false;
  for (std::string_view part : parts) {
    LONG rc = FindChild(at, part, &at);
    if (rc == ERROR_FILE_NOT_FOUND) {
      Statement insert(db_, "INSERT INTO keys(parent, name) VALUES(?, ?)");
      int step = insert.Bind(1, at).BindText(2, part).Step();
      if (step != SQLITE_DONE) return FromSqlite(step);
      at = sqlite3_last_insert_rowid(db_);
      made = true;
    } else if (rc != ERROR_SUCCESS) {
      return rc;
    } else {
      made = false;
    }
  }
  if (LONG rc = transaction.Commit()) return rc;
  *key = at;
  if (created) *created = made;
  return ERROR_SUCCESS;
}

LONG RegistryStore::DeleteKey(RegistryKeyId parent, std::string_view path) {
  if (path.empty()) return ERROR_INVALID_PARAMETER;
  Transaction transaction(db_, true);
  if (transaction.result()) return transaction.result();
  RegistryKeyId key = 0;
  if (LONG rc = Walk(parent, path, &key)) return rc;
  Statement children(db_, "SELECT 1 FROM keys WHERE parent = ? LIMIT 1");
  int rc = children.Bind(1, key).Step();
  if (rc == SQLITE_ROW) return ERROR_ACCESS_DENIED;
  if (rc != SQLITE_DONE) return FromSqlite(rc);
  Statement values(db_, "DELETE FROM vals WHERE key = ?");
  if (int step = values.Bind(1, key).Step(); step != SQLITE_DONE) return FromSqlite(step);
  Statement row(db_, "DELETE FROM keys WHERE id = ?");
  if (int step = row.Bind(1, key).Step(); step != SQLITE_DONE) return FromSqlite(step);
  return transaction.Commit();
}

LONG RegistryStore::QueryValue(RegistryKeyId key, std::string_view name, DWORD* type, std::string* data) {
  if (LONG rc = CheckValueName(name)) return rc;
  Transaction transaction(db_, false);
  if (transaction.result()) return transaction.result();
  Statement find(db_, "SELECT type, data FROM vals WHERE key = ? AND name = ?");
  int rc = find.Bind(1, key).BindText(2, name).Step();
  if (rc == SQLITE_DONE) {
    LONG exists = KeyExists(key);
    return exists == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : exists;
  }
  if (rc != SQLITE_ROW) return FromSqlite(rc);
  *type = DWORD(find.Int(0));
  *data = find.Blob(1);
  return ERROR_SUCCESS;
}

LONG RegistryStore::SetValue(RegistryKeyId key, std::string_view name, DWORD type, std::string_view data) {
  if (LONG rc = CheckValueName(name)) return rc;
  Transaction transaction(db_, true);
  if (transaction.result()) return transaction.result();
  if (LONG rc = KeyExists(key)) return rc;
  // A value written again keeps the spelling of its name from the first write.
  Statement upsert(db_,
                   "INSERT INTO vals(key, name, type, data) VALUES(?, ?, ?, ?)"
                   " ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
  int rc = upsert.Bind(1, key).BindText(2, name).Bind(3, type).BindBlob(4, data).Step();
  if (rc != SQLITE_DONE) return FromSqlite(rc);
  return transaction.Commit();
}

LONG RegistryStore::DeleteValue(RegistryKeyId key, std::string_view name) {
  if (LONG rc = CheckValueName(name)) return rc;
  Transaction transaction(db_, true);
  if (transaction.result()) return transaction.result();
  if (LONG rc = KeyExists(key)) return rc;
  Statement remove(db_, "DELETE FROM vals WHERE key = ? AND name = ?");
  int rc = remove.Bind(1, key).BindText(2, name).Step();
  if (rc != SQLITE_DONE) return FromSqlite(rc);
  if (sqlite3_changes(db_) == 0) return ERROR_FILE_NOT_FOUND;
  return transaction.Commit();
}

std::string DefaultRegistryStorePath() {
  std::string folder = UserConfigFolder();
  return folder.empty() ? std::string() : folder + "/registry.db";
}

}  // namespace lectern
