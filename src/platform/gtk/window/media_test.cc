// Audio and video of a packed book in the real view, played by the engine's own GStreamer: the
// player must learn the length and seek, whether the file is kept raw or compressed, and the
// book's scheme answers byte ranges as HTTP does.
#include <gtest/gtest.h>

#include <string>

#include "archive/test_books.h"
#include "archive/zpk_writer.h"
#include "platform/gtk/window/gui_test_support.h"
#include "platform/gtk/window/main_frame.h"
#include "platform/gtk/window/media_server.h"
#include "platform/gtk/window/test_media.h"
#include "tests/support/temp_dir.h"

namespace lectern {
namespace {

using namespace lectern::testing;

// Each probe records its outcome in `results[name]`: the length, the end of the seekable range
// and where playback stands after a seek, or the error the element reported.
constexpr char kProbePage[] = R"(<html><head><title>Media</title><script>
window.results = {};
function probe(element, name, seekTo) {
  element.addEventListener('error', () => { results[name] = 'error ' + (element.error && element.error.code); });
  const measure = () => {
    const r = {duration: Math.round(element.duration * 10) / 10,
               seekable: element.seekable.length ? Math.round(element.seekable.end(0) * 10) / 10 : 0};
    element.addEventListener('seeked', () => {
      r.current = Math.round(element.currentTime);
      results[name] = JSON.stringify(r);
    }, {once: true});
    element.currentTime = seekTo;
  };
  if (element.readyState >= 1) measure(); else element.addEventListener('loadedmetadata', measure, {once: true});
}
</script></head><body>
<audio id=packedwav src="media/tone.wav" preload=auto></audio>
<audio id=rawwav src="c:\datastore\media\tone-raw.wav" preload=auto></audio>
<video id=packedwebm src="media/clip.webm" preload=auto></video>
<video id=rawwebm preload=auto><source src="/media/clip-raw.webm" type="video/webm"></video>
</body></html>)";

class MediaTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    clip_ = new std::string();
    std::string path = scratch_->Join("clip.webm");
    ASSERT_TRUE(RunGStreamerPipeline("videotestsrc num-buffers=200 ! video/x-raw,width=160,height=120,framerate=10/1 "
                                     "! vp8enc deadline=1 ! webmmux ! filesink location=" + path,
                                     &error))
        << error;
    *clip_ = ReadWholeFile(path);
    ASSERT_GT(clip_->size(), 1000u);
  }
  static void TearDownTestSuite() {
    delete clip_;
    delete scratch_;
  }

  void SetUp() override {
    ASSERT_FALSE(clip_->empty());
    TestBook book;
    std::string wav = ToneWav(60);
    book.files = {{"index.htm", kProbePage},
                  {"media/tone.wav", wav},
                  {"media/tone-raw.wav", wav},
                  {"media/clip.webm", *clip_},
                  {"media/clip-raw.webm", *clip_}};
    book.raw = {{"media/tone-raw.wav", true}, {"media/clip-raw.webm", true}};
    book.settings = {{"bookname", "Media"}, {"guid", "0A0B0C0D0E0F00112233445566778899"}};
    ASSERT_TRUE(WriteTestBook(dir.Join("media.ebk"), book));
    ASSERT_TRUE(frame.Create(dir.Join("media.ebk")));
    frame.Show();
    ASSERT_TRUE(WaitForLoad(frame.view()));
  }
  std::string Run(const std::string& script) { return Evaluate(frame.view(), script.c_str()); }
  std::string Result(const std::string& name) {
    std::string script = "results['" + name + "'] || ''";
    RunUntil([&] { return !Run(script).empty(); }, 30);
    return Run(script);
  }

  static inline TempDir* scratch_ = new TempDir();
  static inline std::string* clip_ = nullptr;
  TempDir dir;
  GtkMainFrame frame;
};

TEST_F(MediaTest, RawAndCompressedAudioAndVideoKnowTheirLengthAndSeek) {
  Run("probe(document.getElementById('packedwav'), 'packedwav', 45); 'ok'");
  Run("probe(document.getElementById('rawwav'), 'rawwav', 45); 'ok'");
  Run("probe(document.getElementById('packedwebm'), 'packedwebm', 15); 'ok'");
  Run("probe(document.getElementById('rawwebm'), 'rawwebm', 15); 'ok'");
  EXPECT_EQ(Result("packedwav"), R"({"duration":60,"seekable":60,"current":45})");
  EXPECT_EQ(Result("rawwav"), R"({"duration":60,"seekable":60,"current":45})");
  EXPECT_EQ(Result("packedwebm"), R"({"duration":20,"seekable":20,"current":15})");
  EXPECT_EQ(Result("rawwebm"), R"({"duration":20,"seekable":20,"current":15})");

  std::string base = MediaEndpoint()->BaseUrl();
  EXPECT_EQ(Run("document.getElementById('rawwav').currentSrc"), base + "/media/tone-raw.wav")
      << "the datastore path form reaches the endpoint too";
}

TEST_F(MediaTest, AudioMadeByScriptPlaysFromTheBook) {
  Run("const made = new Audio('media/tone.wav'); probe(made, 'made', 30);"
      "window.madeIsAudio = made instanceof Audio && made instanceof HTMLAudioElement; 'ok'");
  EXPECT_EQ(Result("made"), R"({"duration":60,"seekable":60,"current":30})");
  EXPECT_EQ(Run("String(window.madeIsAudio)"), "true");

  Run("const later = document.createElement('video'); later.setAttribute('src', 'media/clip-raw.webm');"
      "document.body.appendChild(later); probe(later, 'later', 5); 'ok'");
  EXPECT_EQ(Result("later"), R"({"duration":20,"seekable":20,"current":5})");
}

TEST_F(MediaTest, TheBookSchemeAnswersByteRanges) {
  Run("window.got = null; fetch('media/tone-raw.wav', {headers: {Range: 'bytes=8-11'}}).then(async r => {"
      "  window.got = [r.status, r.headers.get('Content-Range'), r.headers.get('Accept-Ranges'),"
      "                await r.text()].join('|'); }); 'ok'");
  ASSERT_TRUE(RunUntil([&] { return Run("String(window.got)") != "null"; }));
  EXPECT_EQ(Run("window.got"), "206|bytes 8-11/960044|bytes|WAVE");

  Run("window.got = null; fetch('media/tone.wav').then(async r => {"
      "  window.got = [r.status, r.headers.get('Accept-Ranges'), (await r.arrayBuffer()).byteLength].join('|'); });"
      "'ok'");
  ASSERT_TRUE(RunUntil([&] { return Run("String(window.got)") != "null"; }));
  EXPECT_EQ(Run("window.got"), "200|bytes|960044");
}

}  // namespace
}  // namespace lectern
