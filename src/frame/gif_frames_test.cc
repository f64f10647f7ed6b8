#include "frame/gif_frames.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/gif_test_builder.h"

namespace lectern {
namespace {

using testing::BuildGif;
using testing::SolidImage;
using testing::TestGif;
using testing::TestGifImage;

std::span<const uint8_t> Bytes(const std::string& s) { return {reinterpret_cast<const uint8_t*>(s.data()), s.size()}; }

TestGif ThreeFrames() {
  TestGif gif;
  gif.width = 8;
  gif.height = 6;
  gif.palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
  gif.background_index = 3;
  TestGifImage first = SolidImage(0, 0, 8, 6, 0);
  first.delay = 4;
  first.disposal = 1;
  TestGifImage second = SolidImage(2, 1, 3, 2, 1);
  second.delay = 5;
  second.disposal = 2;
  second.transparent_index = 3;
  TestGifImage third = SolidImage(5, 3, 3, 3, 2);  // no graphic control extension
  third.local_palette = {0x101010, 0x202020};
  gif.images = {first, second, third};
  return gif;
}

TEST(GifSplitTest, ReadsTheHeaderAndEveryImage) {
  std::string stream = BuildGif(ThreeFrames());
  GifSplit split = SplitGif(Bytes(stream));
  ASSERT_TRUE(split.ok()) << GifErrorText(split.error);
  EXPECT_EQ(split.width, 8);
  EXPECT_EQ(split.height, 6);
  EXPECT_EQ(split.global_color_table.size(), 12u);
  EXPECT_EQ(split.global_color_table.data(), Bytes(stream).data() + 13);
  EXPECT_EQ(split.background_index, 3);
  EXPECT_EQ(split.background_color, 0xFFFFFFu);
  EXPECT_EQ(split.image_count, 3u);
  ASSERT_EQ(split.frames.size(), 3u);

  const GifFrame& first = split.frames[0];
  EXPECT_EQ(first.delay, 4);
  EXPECT_EQ(first.disposal, 1);
  const GifFrame& second = split.frames[1];
  EXPECT_EQ((std::vector<int>{second.left, second.top, second.width, second.height}), (std::vector<int>{2, 1, 3, 2}));
  EXPECT_EQ(second.delay, 5);
  EXPECT_EQ(second.disposal, 2);
  const GifFrame& third = split.frames[2];
  EXPECT_EQ((std::vector<int>{third.left, third.top, third.width, third.height}), (std::vector<int>{5, 3, 3, 3}));
  EXPECT_FALSE(third.delay.has_value());
  EXPECT_EQ(third.disposal, 0);

  // The source ranges cover the graphic control extension and the image, and nothing else.
  EXPECT_EQ(stream[second.source_offset], '\x21');
  EXPECT_EQ(stream[second.source_offset + 1], '\xF9');
  EXPECT_EQ(stream[third.source_offset], ',');
  EXPECT_EQ(third.source_offset + third.source_size + 1, stream.size());
  EXPECT_EQ(second.source_offset + second.source_size, third.source_offset);
}

TEST(GifSplitTest, EachFrameIsAStandAloneGifOfItsOwnSize) {
  std::string stream = BuildGif(ThreeFrames());
  GifSplit split = SplitGif(Bytes(stream));
  ASSERT_EQ(split.frames.size(), 3u);
  for (const GifFrame& frame : split.frames) {
    const std::vector<uint8_t>& gif = frame.gif;
    ASSERT_GT(gif.size(), 13u + 12u);
    EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
    EXPECT_EQ(gif[6] | gif[7] << 8, frame.width);
    EXPECT_EQ(gif[8] | gif[9] << 8, frame.height);
    EXPECT_EQ(gif[10], uint8_t(stream[10]));
    EXPECT_TRUE(std::equal(gif.begin() + 13, gif.begin() + 25, split.global_color_table.begin()));
    EXPECT_EQ(gif.back(), 0x3B);
    // The image blocks are the original ones, moved to the origin.
    size_t blocks = gif.size() - 1 - frame.source_size;
    EXPECT_EQ(blocks, 25u);
    std::string copied(gif.begin() + ptrdiff_t(blocks), gif.end() - 1);
    std::string original = stream.substr(frame.source_offset, frame.source_size);
    size_t descriptor = original.find(',', frame.delay ? 8 : 0);
    ASSERT_NE(descriptor, std::string::npos);
    original.replace(descriptor + 1, 4, std::string(4, '\0'));
    EXPECT_EQ(copied, original);

    GifSplit again = SplitGif(frame.gif);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again.image_count, 1u);
    EXPECT_EQ(again.width, frame.width);
    ASSERT_EQ(again.frames.size(), 1u);
    EXPECT_EQ(again.frames[0].left, 0);
    EXPECT_EQ(again.frames[0].top, 0);
    EXPECT_EQ(again.frames[0].delay, frame.delay);
    EXPECT_EQ(again.frames[0].disposal, frame.disposal);
  }
}

TEST(GifSplitTest, CountingAloneBuildsNoFrames) {
  std::string stream = BuildGif(ThreeFrames());
  GifSplit split = SplitGif(Bytes(stream), false);
  EXPECT_TRUE(split.ok());
  EXPECT_EQ(split.image_count, 3u);
  EXPECT_TRUE(split.frames.empty());
}

TEST(GifSplitTest, BackgroundAndTablesAtTheirEdges) {
  TestGif gif = ThreeFrames();
  gif.background_index = 9;  // beyond a four-entry table
  GifSplit split = SplitGif(Bytes(BuildGif(gif)));
  ASSERT_TRUE(split.ok());
  EXPECT_EQ(split.background_index, 9);
  EXPECT_FALSE(split.background_color.has_value());

  gif.palette.clear();
  for (TestGifImage& image : gif.images) image.local_palette = {0x123456, 0x654321};
  split = SplitGif(Bytes(BuildGif(gif)));
  ASSERT_TRUE(split.ok());
  EXPECT_TRUE(split.global_color_table.empty());
  EXPECT_FALSE(split.background_color.has_value());
  EXPECT_EQ(split.frames.size(), 3u);
}

TEST(GifSplitTest, DelayRule) {
  EXPECT_EQ(GifFrameDelayMs(std::nullopt), 100);
  EXPECT_EQ(GifFrameDelayMs(0), 100);
  EXPECT_EQ(GifFrameDelayMs(4), 100);
  EXPECT_EQ(GifFrameDelayMs(5), 50);
  EXPECT_EQ(GifFrameDelayMs(20), 200);
  EXPECT_EQ(GifFrameDelayMs(65535), 655350);
}

TEST(GifSplitTest, RefusesWhatIsNoGifOrHasNoScreen) {
  EXPECT_EQ(SplitGif(Bytes("")).error, GifError::kNotGif);
  EXPECT_EQ(SplitGif(Bytes("GI")).error, GifError::kNotGif);
  EXPECT_EQ(SplitGif(Bytes("\x89PNG\r\n\x1a\n")).error, GifError::kNotGif);
  EXPECT_EQ(SplitGif(Bytes("GIF89a\x01\x00")).error, GifError::kTruncated);

  std::string stream = BuildGif(ThreeFrames());
  std::string zero = stream;
  zero[6] = zero[7] = 0;
  EXPECT_EQ(SplitGif(Bytes(zero)).error, GifError::kBadScreenSize);
  std::string huge = stream;
  huge[6] = huge[7] = huge[8] = huge[9] = '\xFF';
  EXPECT_EQ(SplitGif(Bytes(huge)).error, GifError::kBadScreenSize);

  // A global table that claims 256 entries in a short stream.
  std::string table = stream.substr(0, 40);
  table[10] = char(0x87);
  EXPECT_EQ(SplitGif(Bytes(table)).error, GifError::kTruncated);

  // Header and table only, or a trailer straight after them.
  EXPECT_EQ(SplitGif(Bytes(stream.substr(0, 25))).error, GifError::kNoImage);
  EXPECT_EQ(SplitGif(Bytes(stream.substr(0, 25) + ";")).error, GifError::kNoImage);

  GifLimits small;
  small.max_input_bytes = stream.size() - 1;
  EXPECT_EQ(SplitGif(Bytes(stream), true, small).error, GifError::kTooLarge);
}

TEST(GifSplitTest, EveryTruncationIsSafeAndKeepsTheWholeImagesBefore) {
  std::string stream = BuildGif(ThreeFrames());
  GifSplit whole = SplitGif(Bytes(stream));
  ASSERT_EQ(whole.frames.size(), 3u);
  size_t last_count = 0;
  for (size_t length = 0; length < stream.size(); ++length) {
    std::string prefix = stream.substr(0, length);
    GifSplit split = SplitGif(Bytes(prefix));
    EXPECT_GE(split.image_count, last_count) << length;
    last_count = split.image_count;
    EXPECT_EQ(split.frames.size(), split.image_count);
    for (size_t i = 0; i < split.frames.size(); ++i) {
      EXPECT_EQ(split.frames[i].gif, whole.frames[i].gif) << "prefix " << length << " frame " << i;
    }
    // An image counts once its terminator is there; the trailer itself is never needed.
    const GifFrame& third = whole.frames[2];
    if (length >= third.source_offset + third.source_size) EXPECT_EQ(split.image_count, 3u);
    else EXPECT_LT(split.image_count, 3u);
  }
}

TEST(GifSplitTest, LeavesOutImagesOffTheScreenOrWithoutArea) {
  TestGif gif = ThreeFrames();
  gif.images.push_back(SolidImage(8, 0, 2, 2, 0));   // starts right of the screen
  gif.images.push_back(SolidImage(0, 6, 2, 2, 0));   // starts below it
  gif.images.push_back(SolidImage(7, 5, 4, 4, 1));   // hangs over the corner: kept
  TestGifImage empty;
  empty.width = 0;
  empty.height = 5;
  gif.images.push_back(empty);
  gif.images.push_back(SolidImage(0, 0, 9000, 1, 0));  // wider than any screen may be
  GifSplit split = SplitGif(Bytes(BuildGif(gif)));
  ASSERT_TRUE(split.ok());
  EXPECT_EQ(split.image_count, 8u);
  ASSERT_EQ(split.frames.size(), 4u);
  EXPECT_EQ(split.frames[3].left, 7);
  EXPECT_EQ(split.frames[3].width, 4);
}

TEST(GifSplitTest, BoundsFramesAndTheirPixels) {
  TestGif gif = ThreeFrames();
  GifLimits limits;
  limits.max_frames = 2;
  GifSplit split = SplitGif(Bytes(BuildGif(gif)), true, limits);
  EXPECT_EQ(split.image_count, 3u);
  EXPECT_EQ(split.frames.size(), 2u);

  limits = {};
  limits.max_frame_pixels = 8 * 6 + 3 * 2;  // the first two fit exactly; the third does not
  split = SplitGif(Bytes(BuildGif(gif)), true, limits);
  EXPECT_EQ(split.frames.size(), 2u);
}

TEST(GifSplitTest, HostileBlockStructure) {
  std::string stream = BuildGif(ThreeFrames());
  const std::string head = stream.substr(0, 25);
  const std::string image = stream.substr(SplitGif(Bytes(stream)).frames[2].source_offset);

  // An endless run of comment extensions ends in a clear failure.
  std::string chain = head;
  for (int i = 0; i < 2000; ++i) chain += std::string("\x21\xFE\x01x\x00", 5);
  chain += image;
  EXPECT_EQ(SplitGif(Bytes(chain)).error, GifError::kTooManyBlocks);
  GifLimits roomy;
  roomy.max_extensions_per_image = 4096;
  GifSplit split = SplitGif(Bytes(chain), true, roomy);
  EXPECT_TRUE(split.ok());
  EXPECT_EQ(split.frames.size(), 1u);

  // A sub-block that claims more bytes than there are.
  EXPECT_EQ(SplitGif(Bytes(head + std::string("\x21\xFE\xF0xx", 5))).error, GifError::kNoImage);
  // A local colour table running past the end.
  std::string local = head + std::string(",\0\0\0\0\x02\0\x02\0\x87", 10) + "short";
  EXPECT_EQ(SplitGif(Bytes(local)).error, GifError::kNoImage);
  // A descriptor cut short, and one without its code size byte.
  EXPECT_EQ(SplitGif(Bytes(head + std::string(",\0\0\0", 4))).error, GifError::kNoImage);
  EXPECT_EQ(SplitGif(Bytes(head + std::string(",\0\0\0\0\x02\0\x02\0\0", 10))).error, GifError::kNoImage);
  // Bytes that begin no block end the stream there, as the trailer would.
  split = SplitGif(Bytes(head + image.substr(0, image.size() - 1) + "garbage" + image));
  EXPECT_EQ(split.image_count, 1u);
  // A graphic control extension of the wrong size is not taken for one.
  std::string odd = head + std::string("\x21\xF9\x03\x08\x10\x00\x00", 7) + image;
  split = SplitGif(Bytes(odd));
  ASSERT_EQ(split.frames.size(), 1u);
  EXPECT_FALSE(split.frames[0].delay.has_value());
}

}  // namespace
}  // namespace lectern
