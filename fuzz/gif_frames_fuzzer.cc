// Cuts arbitrary bytes as a GIF stream; every frame it keeps must itself be a one-image stream.
#include <cstdlib>

#include "frame/gif_frames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> input(data, size);
  lectern::GifLimits limits;
  limits.max_frames = 64;
  limits.max_frame_pixels = 1 << 20;
  lectern::GifSplit split = lectern::SplitGif(input, true, limits);
  lectern::GifSplit counted = lectern::SplitGif(input, false, limits);
  if (split.error != counted.error || split.image_count != counted.image_count) std::abort();
  if (split.frames.size() > split.image_count || split.frames.size() > limits.max_frames) std::abort();
  for (const lectern::GifFrame& frame : split.frames) {
    if (frame.source_offset + frame.source_size > size) std::abort();
    lectern::GifSplit alone = lectern::SplitGif(frame.gif);
    if (!alone.ok() || alone.image_count != 1 || alone.width != frame.width || alone.height != frame.height) std::abort();
  }
  return 0;
}
