// A gigabyte of raw video kept in the book plays and seeks in the real view while the reader's
// own memory hardly moves: the endpoint reads the book file as the player pulls it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "archive/zpk_writer.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "platform/gtk/window/test_media.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

constexpr uint64_t kGigabyte = uint64_t(1) << 30;
constexpr uint64_t kAllowedGrowth = uint64_t(64) << 20;

uint64_t ResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
  return 0;
}

constexpr char kPage[] = R"(<html><head><title>Film</title></head><body>
<video id=film src="film.avi" preload=none muted></video>
<script>
window.log = [];
const film = document.getElementById('film');
film.addEventListener('error', () => log.push('error ' + film.error.code));
film.addEventListener('seeked', () => log.push('seeked ' + Math.round(film.currentTime)));
</script></body></html>)";

TEST(MediaMemoryTest, AGigabyteOfRawVideoStreamsAndSeeksInLittleMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "resident memory under the address sanitizer measures its shadow, not the reader";
#endif
  TempDir dir;
  // 640 x 480 I420 frames of 460800 bytes: 2331 of them, 93 s at 25 frames a second, pass 1 GiB.
  std::string source = dir.Join("film.avi"), error;
  ASSERT_TRUE(RunGStreamerPipeline("videotestsrc num-buffers=2331 pattern=ball ! "
                                   "video/x-raw,format=I420,width=640,height=480,framerate=25/1 ! avimux ! "
                                   "filesink location=" + source,
                                   &error))
      << error;
  ZpkWriter writer;
  std::string page = kPage;
  ASSERT_TRUE(writer.Begin(dir.Join("film.ebk"), "", {}));
  ASSERT_TRUE(writer.AddFile("index.htm", {reinterpret_cast<const uint8_t*>(page.data()), page.size()}));
  ASSERT_TRUE(writer.AddRawFile("film.avi", source)) << writer.error();
  ASSERT_TRUE(writer.SetSettings({{"bookname", "Film"}, {"guid", "99887766554433221100FFEEDDCCBBAA"}}));
  ASSERT_TRUE(writer.Finish()) << writer.error();
  uint64_t size = std::filesystem::file_size(source);
  ASSERT_GT(size, kGigabyte);
  unlink(source.c_str());

  GtkMainFrame frame;
  ASSERT_TRUE(frame.Create(dir.Join("film.ebk")));
  frame.Show();
  ASSERT_TRUE(WaitForLoad(frame.view()));
  auto run = [&](const std::string& script) { return Evaluate(frame.view(), script.c_str()); };
  uint64_t before = ResidentBytes(), peak = before;
  auto watch = [&](const std::function<bool()>& done, int seconds) {
    return RunUntil([&] {
      peak = std::max(peak, ResidentBytes());
      return done();
    }, seconds);
  };
  run("film.play(); 'ok'");
  ASSERT_TRUE(watch([&] { return run("String(film.readyState >= 1 || log.length > 0)") == "true"; }, 60));
  ASSERT_EQ(run("log.join()"), "") << "the player refused the film";
  EXPECT_EQ(run("String(Math.round(film.duration))"), "93");
  EXPECT_GE(std::stoull(run("String(Math.floor(film.seekable.end(0)))")), 93u);
  watch([] { return false; }, 3);
  int seeks = 0;
  for (int to : {80, 10, 60, 30, 90, 45}) {
    run("film.currentTime = " + std::to_string(to) + "; 'ok'");
    std::string expected = "seeked " + std::to_string(to);
    ASSERT_TRUE(watch([&] { return run("log.join()").find(expected) != std::string::npos; }, 30)) << run("log.join()");
    ++seeks;
    watch([] { return false; }, 2);
  }
  EXPECT_EQ(run("String(film.error === null)"), "true");
  uint64_t growth = peak > before ? peak - before : 0;
  std::printf("reader resident memory: %.1f MiB before playing, %.1f MiB at peak, %.1f MiB growth over %d seeks "
              "in a %.2f GiB raw entry\n",
              double(before) / (1 << 20), double(peak) / (1 << 20), double(growth) / (1 << 20), seeks,
              double(size) / double(kGigabyte));
  EXPECT_LT(growth, kAllowedGrowth);
}

}  // namespace
}  // namespace lectern
