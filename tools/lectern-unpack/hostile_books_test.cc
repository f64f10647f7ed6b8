// Books made to hurt: every one is refused or read only as far as it is sound, with a clear error
// and a non-zero exit, in bounded memory, and without a byte written outside the target.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "archive/test_books.h"
#include "common/run_tool.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using testing::HandMadeBook;
using testing::TempDir;

const std::string kUnpack = LECTERN_UNPACK_BINARY;
// Under AddressSanitizer the shadow memory and the quarantine of freed blocks (256 MB of its own)
// are no measure of ours: there the bound is the sanitizer's share on top of ours.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMaxPeakKilobytes = 1024 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr long kMaxPeakKilobytes = 1024 * 1024;
#else
constexpr long kMaxPeakKilobytes = 256 * 1024;
#endif
#else
constexpr long kMaxPeakKilobytes = 256 * 1024;
#endif

struct BoundedRun {
  int status = -1;
  std::string err;   // the first 64 KiB
  long peak_kb = 0;  // the child's own peak resident set
};

// Runs lectern-unpack with its listing thrown away (a hostile listing may be gigabytes long) and
// takes the child's peak memory from the kernel's account of it.
BoundedRun RunUnpack(const std::vector<std::string>& args) {
  BoundedRun run;
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) return run;
  pid_t child = ::fork();
  if (child == 0) {
    int null_fd = ::open("/dev/null", O_RDWR);
    ::dup2(null_fd, 0);
    ::dup2(null_fd, 1);
    ::dup2(pipe_fds[1], 2);
    std::vector<char*> argv{const_cast<char*>(kUnpack.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(kUnpack.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    if (run.err.size() < 65536) run.err.append(buffer, size_t(n));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) != child) return run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.peak_kb = usage.ru_maxrss;
  return run;
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = char(gen());
  return s;
}

class HostileBooksTest : public ::testing::Test {
 protected:
  // Runs lectern-unpack on `bytes` as a book, once per action: each run must fail with one line
  // holding `reason` (or, for an action in `sound`, succeed), within the memory bound, writing
  // nothing outside the target.
  void Expect(const std::string& name, const std::string& bytes, const std::string& reason, bool list_fails,
              const std::vector<std::string>& extra = {}) {
    SCOPED_TRACE(name);
    std::string book = dir_.Write(name, bytes);
    std::string out = dir_.Join("jail/" + name);
    std::vector<std::string> extract_args{book, "--extract", out};
    extract_args.insert(extract_args.end(), extra.begin(), extra.end());
    for (const auto& args : {std::vector<std::string>{book, "--list"}, extract_args}) {
      SCOPED_TRACE(args[1]);
      BoundedRun run = RunUnpack(args);
      EXPECT_LT(run.peak_kb, kMaxPeakKilobytes);
      if (args[1] == "--list" && !list_fails) {
        EXPECT_EQ(run.status, 0) << run.err.substr(0, 400);
        continue;
      }
      EXPECT_EQ(run.status, 1) << run.err.substr(0, 400);
      EXPECT_EQ(run.err.rfind("lectern-unpack: ", 0), 0u) << run.err.substr(0, 400);
      EXPECT_NE(run.err.find(reason), std::string::npos) << run.err.substr(0, 400);
      EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err.substr(0, 400);
    }
    ExpectNothingOutsideTheJail();
  }
  void ExpectRefused(const std::string& name, const std::string& bytes, const std::string& reason) {
    Expect(name, bytes, reason, true);
  }
  void ExpectNotExtracted(const std::string& name, const std::string& bytes, const std::string& reason,
                          const std::vector<std::string>& extra = {}) {
    Expect(name, bytes, reason, false, extra);
  }

  void ExpectNothingOutsideTheJail() {
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_.path())) {
      std::string relative = std::filesystem::relative(e.path(), dir_.path()).generic_string();
      bool book = e.is_regular_file() && relative.find('/') == std::string::npos;
      EXPECT_TRUE(book || relative == "jail" || relative.rfind("jail/", 0) == 0) << relative;
    }
  }

  TempDir dir_;
};

TEST_F(HostileBooksTest, ABookCutAtEveryTenthIsRefused) {
  testing::TestBook book;
  book.files = {{"index.htm", "<html><title>t</title>start</html>"},
                {"big/noise.bin", RandomBytes(300000, 1)},
                {"big/more.bin", RandomBytes(200000, 2)}};
  book.settings = {{"bookname", "Whole"}};
  std::string whole_path = dir_.Join("whole.ebk");
  ASSERT_TRUE(testing::WriteTestBook(whole_path, book));
  std::string whole = testing::ReadWholeFile(whole_path);
  for (int tenth = 1; tenth <= 9; ++tenth) {
    std::string cut = whole.substr(0, whole.size() * size_t(tenth) / 10);
    ExpectRefused("cut" + std::to_string(tenth) + ".ebk", cut, "lies past the end of the file");
  }
}

TEST_F(HostileBooksTest, DirectoriesPastTheEndOrClimbingOutAreRefused) {
  HandMadeBook hand({"<p>fine</p>", "pwned"});
  std::string book = hand.Finish(hand.File("fine.html", 0));
  std::string past = book;
  past.replace(28, 4, std::string("\x9C\x86\xCF\x00", 4));  // 13,600,412
  ExpectRefused("past.ebk", past, "the directory at offset 13,600,412 lies past the end of the file");
  ExpectRefused("dots.ebk", hand.Finish(hand.File("fine.html", 0) + HandMadeBook::Folder("..") + hand.File("x", 1)),
                "a folder record named \"..\"");
  ExpectRefused("climb.ebk", hand.Finish(hand.File("fine.html", 0) + hand.File("../../x", 1)),
                "a file record named \"../../x\"");
}

TEST_F(HostileBooksTest, HugeDeclaredSizesCostNoMemory) {
  // 16 MiB of stored bytes that no LZO stream makes sense of, declaring 4 GiB of content.
  HandMadeBook hand;
  size_t huge = hand.AddRecord(0xFFFFFFFFu, 16u << 20, RandomBytes(16u << 20, 3));
  ExpectNotExtracted("huge.ebk", hand.Finish(hand.File("huge.bin", huge)), "huge.bin: its content can't be decompressed");
  // A declared size no stored length can make is damaged before anything is read.
  HandMadeBook tiny;
  size_t lying = tiny.AddRecord(0xFFFFFFF0u, 16, std::string(16, 'x'));
  std::string lying_book = tiny.Finish(tiny.File("lying.bin", lying));
  std::string lying_path = dir_.Write("lying.ebk", lying_book);
  BoundedRun extract = RunUnpack({lying_path, "--extract", dir_.Join("jail/lying")});
  EXPECT_EQ(extract.status, 1);
  EXPECT_EQ(extract.err, "lectern-unpack: lying.bin: its record is damaged or lies outside the book\n");
  BoundedRun list = RunUnpack({lying_path, "--list"});
  EXPECT_EQ(list.status, 1);
  EXPECT_EQ(list.err, "lectern-unpack: 1 damaged entries\n");
  EXPECT_LT(std::max(list.peak_kb, extract.peak_kb), kMaxPeakKilobytes);
}

TEST_F(HostileBooksTest, ExtractionStopsAtItsByteLimit) {
  HandMadeBook hand({std::string(600000, 'a'), std::string(600000, 'b')});
  std::string records = hand.File("a.txt", 0) + hand.File("b.txt", 1);
  ExpectNotExtracted("limit.ebk", hand.Finish(records), "extraction stopped: it would write more than 1,048,576 bytes",
                     {"--max-bytes", "1M"});
  EXPECT_EQ(std::filesystem::file_size(dir_.Join("jail/limit.ebk/a.txt")), 600000u);
  EXPECT_FALSE(std::filesystem::exists(dir_.Join("jail/limit.ebk/b.txt")));
  BoundedRun whole = RunUnpack({dir_.Join("limit.ebk"), "--extract", dir_.Join("jail/whole"), "--max-bytes=2M"});
  EXPECT_EQ(whole.status, 0) << whole.err;
  BoundedRun bad = RunUnpack({dir_.Join("limit.ebk"), "--extract", dir_.Join("jail/x"), "--max-bytes", "lots"});
  EXPECT_EQ(bad.status, 2) << bad.err;
}

TEST_F(HostileBooksTest, LongNamesOverManyFilesAreHeldOnce) {
  // One folder name of 64 KiB over 20,000 files: every path is 64 KiB long.
  HandMadeBook hand({"<p>x</p>"});
  std::string records = HandMadeBook::Folder(std::string(65535, 'n'));
  for (int i = 0; i < 20000; ++i) records += hand.File(std::to_string(i) + ".htm", 0);
  std::string bytes = hand.Finish(records + HandMadeBook::Leave());
  ASSERT_LT(bytes.size(), 400000u);
  // No system takes a 64 KiB name: every entry fails, and the failure is told once with a count.
  ExpectNotExtracted("long.ebk", bytes, "(and 20000 more entries not extracted)");
}

TEST_F(HostileBooksTest, ShortStreamsLeaveNoFileBehind) {
  HandMadeBook hand;
  std::string stream = HandMadeBook::Compress("hello");
  size_t short_entry = hand.AddRecord(23, uint32_t(stream.size()), stream);
  ExpectNotExtracted("short.ebk", hand.Finish(hand.File("short.txt", short_entry)),
                     "short.txt: its content can't be decompressed");
  EXPECT_FALSE(std::filesystem::exists(dir_.Join("jail/short.ebk/short.txt")));
}

}  // namespace
}  // namespace lectern
#endif
