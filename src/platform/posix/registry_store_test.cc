#include "platform/posix/registry_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/error_code_text.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::ErrorCodeText;
using testing::ReadWholeFile;
using testing::TempDir;
using testing::WriteWholeFile;

constexpr char kLecternKey[] = "Software\\Vellum Software\\Lectern";

// The helper's values: byte j of value `index` is (index * 31 + j) mod 256.
std::string Payload(long index, long size) {
  std::string bytes(size_t(size), '\0');
  for (long j = 0; j < size; ++j) bytes[size_t(j)] = char((index * 31 + j) & 0xFF);
  return bytes;
}

// The test helper binary run as another reader process, with pipes on its stdin and stdout.
class Helper {
 public:
  explicit Helper(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      close(in[0]), close(in[1]), close(out[0]), close(out[1]);
      std::vector<char*> argv;
      std::string program = REGISTRY_STORE_TEST_HELPER;
      argv.push_back(program.data());
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~Helper() {
    CloseStdin();
    if (stdout_ >= 0) close(stdout_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  // One line of output without its newline; "<eof>" when the helper has ended.
  std::string ReadLine() {
    std::string line;
    char c;
    while (true) {
      ssize_t n = read(stdout_, &c, 1);
      if (n <= 0) return line.empty() ? "<eof>" : line;
      if (c == '\n') return line;
      line.push_back(c);
    }
  }
  std::string ReadAll() {
    std::string all;
    char buffer[4096];
    ssize_t n;
    while ((n = read(stdout_, buffer, sizeof buffer)) > 0) all.append(buffer, size_t(n));
    return all;
  }
  void CloseStdin() {
    if (stdin_ >= 0) close(stdin_);
    stdin_ = -1;
  }
  void Kill() { kill(pid_, SIGKILL); }
  // The exit code, or 1000 + the signal that ended it.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
};

class RegistryStoreTest : public ::testing::Test {
 protected:
  std::unique_ptr<RegistryStore> OpenStore(int busy_timeout_ms = 5000) {
    std::unique_ptr<RegistryStore> store;
    EXPECT_EQ(RegistryStore::Open({path_, busy_timeout_ms}, &store), ERROR_SUCCESS);
    return store;
  }
  RegistryKeyId MakeKey(RegistryStore& store, std::string_view path) {
    RegistryKeyId key = 0;
    bool created = false;
    EXPECT_EQ(store.CreateKey(RegistryStore::kCurrentUser, path, &key, &created), ERROR_SUCCESS);
    return key;
  }
  std::string Value(RegistryStore& store, std::string_view key_path, std::string_view name) {
    RegistryKeyId key = 0;
    if (LONG rc = store.FindKey(RegistryStore::kCurrentUser, key_path, &key)) return ErrorCodeText(rc);
    DWORD type = 0;
    std::string data;
    if (LONG rc = store.QueryValue(key, name, &type, &data)) return ErrorCodeText(rc);
    return data;
  }
  static bool IntegrityOk(const std::string& path) {
    sqlite3* db = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
          sqlite3_step(stmt) == SQLITE_ROW)
        ok = std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "ok") == 0;
      sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return ok;
  }

  TempDir dir_;
  std::string path_ = dir_.Join("config/lectern/registry.db");
};

TEST_F(RegistryStoreTest, FirstUseMakesAPrivateStoreAndValuesSurviveReopening) {
  {
    auto store = OpenStore();
    ASSERT_TRUE(store);
    RegistryKeyId key = MakeKey(*store, "Software\\Vellum Software\\Lectern");
    ASSERT_EQ(store->SetValue(key, "window position", REG_SZ, std::string("1,2,3,4\0", 8)), ERROR_SUCCESS);
  }
  struct stat st {};
  ASSERT_EQ(stat(dir_.Join("config/lectern").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0077, 0u);

  auto store = OpenStore();
  ASSERT_TRUE(store);
  EXPECT_EQ(Value(*store, "software\\vellum software\\lectern", "Window Position"), std::string("1,2,3,4\0", 8));
}

TEST_F(RegistryStoreTest, AFreshProcessSeesWhatAnotherWrote) {
  {
    auto store = OpenStore();
    RegistryKeyId key = MakeKey(*store, "Software\\Vellum Software\\Lectern");
    ASSERT_EQ(store->SetValue(key, "from parent", REG_SZ, std::string("hello\0", 6)), ERROR_SUCCESS);
  }
  Helper reader({"get", path_, "Software\\Vellum Software\\Lectern", "FROM PARENT"});
  EXPECT_EQ(reader.ReadAll(), "hello");
  EXPECT_EQ(reader.Wait(), 0);

  Helper writer({"set", path_, "Software\\Vellum Software\\Lectern", "from child", "0,0,640,480"});
  EXPECT_EQ(writer.Wait(), 0);
  auto store = OpenStore();
  EXPECT_EQ(Value(*store, "Software\\Vellum Software\\Lectern", "from child"), std::string("0,0,640,480\0", 12));
  EXPECT_EQ(Value(*store, "Software\\Vellum Software\\Lectern", "from parent"), std::string("hello\0", 6));
}

TEST_F(RegistryStoreTest, TwoProcessesWritingAtOnceKeepBothSets) {
  // Neither finds a store: both race to make it, then to write.
  constexpr long kCount = 60;
  Helper first({"write-many", path_, "Shared", "first", std::to_string(kCount), "300"});
  Helper second({"write-many", path_, "Shared", "second", std::to_string(kCount), "300"});
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(second.Wait(), 0);

  auto store = OpenStore();
  ASSERT_TRUE(store);
  for (long i = 0; i < kCount; ++i) {
    EXPECT_EQ(Value(*store, "shared", "first" + std::to_string(i)), Payload(i, 300)) << i;
    EXPECT_EQ(Value(*store, "shared", "second" + std::to_string(i)), Payload(i, 300)) << i;
  }
}

TEST_F(RegistryStoreTest, AWriterKilledMidWayLosesNothingItCommitted) {
  constexpr long kSize = 40000;  // large enough that a kill often lands inside a write
  long checked_up_to = 0;
  for (int round = 0; round < 4; ++round) {
    std::string prefix = "round" + std::to_string(round) + "-";
    Helper writer({"write-many", path_, "Killed", prefix, "100000", std::to_string(kSize)});
    long committed = -1;
    long kill_after = 2 + round * 5;
    while (committed < kill_after) {
      std::string line = writer.ReadLine();
      ASSERT_NE(line, "<eof>");
      committed = std::stol(line);
    }
    writer.Kill();
    EXPECT_EQ(writer.Wait(), 1000 + SIGKILL);

    ASSERT_TRUE(IntegrityOk(path_));
    auto store = OpenStore();
    ASSERT_TRUE(store);
    for (long i = 0; i <= committed; ++i)
      EXPECT_EQ(Value(*store, "Killed", prefix + std::to_string(i)), Payload(i, kSize)) << prefix << i;
    // A write that was under way is either all there or not there at all.
    std::string next = Value(*store, "Killed", prefix + std::to_string(committed + 1));
    if (next != "<2>") {
      EXPECT_EQ(next, Payload(committed + 1, kSize));
    }
    // And the store takes new writes.
    RegistryKeyId key = MakeKey(*store, "Killed");
    EXPECT_EQ(store->SetValue(key, "after", REG_BINARY, "ok"), ERROR_SUCCESS);
    checked_up_to += committed;
  }
  EXPECT_GT(checked_up_to, 0);
}

TEST_F(RegistryStoreTest, AFileOfGarbageIsRefusedAndLeftAsItWas) {
  std::string garbage;
  for (int i = 0; i < 8192; ++i) garbage.push_back(char((i * 131 + 7) & 0xFF));
  WriteWholeFile(path_, garbage);

  std::unique_ptr<RegistryStore> store;
  EXPECT_EQ(RegistryStore::Open({path_}, &store), ERROR_REGISTRY_CORRUPT);
  EXPECT_FALSE(store);
  EXPECT_EQ(ReadWholeFile(path_), garbage);

  // Through the registry functions as well, call after call.
  UseRegistryStore({path_});
  HKEY key = nullptr;
  EXPECT_EQ(RegistryCreateKey(HKEY_CURRENT_USER, "Software", REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, &key,
                              nullptr),
            ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(RegistrySetValue(HKEY_CURRENT_USER, "v", REG_SZ, reinterpret_cast<const BYTE*>("x"), 2),
            ERROR_REGISTRY_CORRUPT);
  UseRegistryStore({""});
  EXPECT_EQ(ReadWholeFile(path_), garbage);
}

TEST_F(RegistryStoreTest, ADamagedPageIsRefusedAndLeftAsItWas) {
  {
    auto store = OpenStore();
    RegistryKeyId key = MakeKey(*store, "Software\\Vellum Software\\Lectern");
    for (int i = 0; i < 50; ++i) {
      const std::string number = std::to_string(i);
      ASSERT_EQ(store->SetValue(key, "v" + number, REG_BINARY, std::string(200, char(i))), ERROR_SUCCESS);
    }
  }
  std::string file = ReadWholeFile(path_);
  ASSERT_GE(file.size(), 3 * 4096u);
  for (size_t i = 4096; i < 2 * 4096; ++i) file[i] = char(0xEE);  // the page after the schema
  WriteWholeFile(path_, file);

  std::unique_ptr<RegistryStore> store;
  EXPECT_EQ(RegistryStore::Open({path_}, &store), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(ReadWholeFile(path_), file);
}

TEST_F(RegistryStoreTest, AnotherProgramsDatabaseIsLeftAlone) {
  sqlite3* db = nullptr;
  WriteWholeFile(path_, "");
  ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(text); INSERT INTO notes VALUES('mine');", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  std::string before = ReadWholeFile(path_);

  std::unique_ptr<RegistryStore> store;
  EXPECT_EQ(RegistryStore::Open({path_}, &store), ERROR_REGISTRY_CORRUPT);
  EXPECT_EQ(ReadWholeFile(path_), before);
}

TEST_F(RegistryStoreTest, ALockHeldPastTheWaitFailsAndChangesNothing) {
  {
    auto store = OpenStore();
    RegistryKeyId key = MakeKey(*store, "Software\\Vellum Software\\Lectern");
    ASSERT_EQ(store->SetValue(key, "kept", REG_SZ, std::string("yes\0", 4)), ERROR_SUCCESS);
  }
  std::string before = ReadWholeFile(path_);
  const BYTE* x = reinterpret_cast<const BYTE*>("x");
  {
    Helper locker({"lock", path_});
    ASSERT_EQ(locker.ReadLine(), "locked");
    std::unique_ptr<RegistryStore> store;
    EXPECT_EQ(RegistryStore::Open({path_, 200}, &store), ERROR_BUSY);
    EXPECT_FALSE(store);
    UseRegistryStore({path_, 200});
    HKEY key = nullptr;
    EXPECT_EQ(RegistryOpenKey(HKEY_CURRENT_USER, kLecternKey, KEY_READ, &key), ERROR_BUSY);
    EXPECT_EQ(RegistrySetValue(HKEY_CURRENT_USER, "v", REG_SZ, x, 2), ERROR_BUSY);
    EXPECT_EQ(ReadWholeFile(path_), before);
    locker.CloseStdin();
    EXPECT_EQ(locker.Wait(), 0);
  }
  EXPECT_EQ(ReadWholeFile(path_), before);

  // A writer that keeps its transaction open: reading goes on, writing waits and then fails.
  auto connected = OpenStore(200);
  ASSERT_TRUE(connected);
  {
    Helper writer({"hold-write", path_});
    ASSERT_EQ(writer.ReadLine(), "locked");
    EXPECT_EQ(Value(*connected, kLecternKey, "kept"), std::string("yes\0", 4));
    RegistryKeyId key = 0;
    EXPECT_EQ(connected->CreateKey(RegistryStore::kCurrentUser, "Other", &key, nullptr), ERROR_BUSY);
    EXPECT_EQ(connected->SetValue(RegistryStore::kCurrentUser, "v", REG_SZ, "x"), ERROR_BUSY);
    EXPECT_EQ(RegistrySetValue(HKEY_CURRENT_USER, "v", REG_SZ, x, 2), ERROR_BUSY);
    writer.CloseStdin();
    EXPECT_EQ(writer.Wait(), 0);
  }
  // Once the lock is gone the same calls work, and nothing was lost on the way.
  EXPECT_EQ(RegistrySetValue(HKEY_CURRENT_USER, "v", REG_SZ, x, 2), ERROR_SUCCESS);
  EXPECT_EQ(connected->SetValue(RegistryStore::kCurrentUser, "w", REG_SZ, "x"), ERROR_SUCCESS);
  EXPECT_EQ(Value(*connected, kLecternKey, "kept"), std::string("yes\0", 4));
  UseRegistryStore({""});
}

}  // namespace
}  // namespace lectern
