// GIF streams cut into stand-alone pictures, one per image, so that a picture loader which only
// knows still images can show an animation frame by frame. No toolkit: the picture window loads
// the pieces with whatever decoder its platform has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace lectern {

// Bounds that keep a hostile stream from making the reader hold more than a picture deserves.
struct GifLimits {
  size_t max_input_bytes = size_t(64) << 20;
  int max_screen_side = 8192;
  uint64_t max_screen_pixels = uint64_t(4096) * 4096;
  size_t max_frames = 2048;
  // Sum of the frames' own areas: what the decoded frames will occupy, four bytes a pixel.
  uint64_t max_frame_pixels = uint64_t(32) << 20;
  // Extension blocks between two images; real streams have a handful.
  size_t max_extensions_per_image = 1024;
};

enum class GifError {
  kNone,
  kNotGif,         // does not begin with "GIF"
  kTruncated,      // header or global colour table runs past the end
  kBadScreenSize,  // logical screen of zero or beyond the limits
  kTooLarge,       // input beyond the byte limit
  kNoImage,        // no complete image in the stream
  kTooManyBlocks,  // an extension chain beyond the limit
};

std::string_view GifErrorText(GifError error);

struct GifFrame {
  // A complete GIF of this image alone: header, global colour table, the image's graphic control
  // extension, its descriptor (with local colour table) and data, trailer. Its logical screen is the
  // image's own size and the image sits at (0, 0), so a decoder yields exactly the frame's pixels.
  std::vector<uint8_t> gif;
  // Where the image goes on the logical screen, from its descriptor.
  int left = 0, top = 0, width = 0, height = 0;
  // Hundredths of a second; absent when the image has no graphic control extension.
  std::optional<uint16_t> delay;
  // 0 to 7, bits 2 to 4 of the extension's flags; 0 without one.
  int disposal = 0;
  // Byte range of the image's blocks in the original stream (extension included).
  size_t source_offset = 0, source_size = 0;
};

struct GifSplit {
  GifError error = GifError::kNone;
  int width = 0, height = 0;  // logical screen
  std::span<const uint8_t> global_color_table;  // into the input; empty without one
  int background_index = 0;
  // The global table's entry at the background index, 0xRRGGBB; absent without a table or when the
  // index lies beyond it.
  std::optional<uint32_t> background_color;
  // Complete images found, before any was left out.
  size_t image_count = 0;
  // The images kept: those that lie at least partly on the logical screen and have a size no larger
  // than a screen may be, within the frame limits. A truncated last image is counted as absent.
  std::vector<GifFrame> frames;

  bool ok() const { return error == GifError::kNone; }
};

// True when `data` begins with the three bytes "GIF"; the version after them is not examined.
bool LooksLikeGif(std::span<const uint8_t> data);

// Reads the stream's header and images. With `build_frames` false only the header fields and the
// image count are filled (enough to tell a still from an animation).
GifSplit SplitGif(std::span<const uint8_t> data, bool build_frames = true, const GifLimits& limits = {});

// The wait after a frame: its delay in milliseconds, or 100 ms when the delay is below five
// hundredths or absent (streams that leave it out or set it tiny expect a visible pace).
int GifFrameDelayMs(std::optional<uint16_t> delay);

}  // namespace lectern
