#include "frame/gif_frames.h"

namespace lectern {
namespace {

constexpr size_t kHeaderSize = 13;
constexpr size_t kDescriptorSize = 10;
constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;

uint16_t ReadU16(std::span<const uint8_t> data, size_t at) { return uint16_t(data[at] | (data[at + 1] << 8)); }

void WriteU16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = uint8_t(value & 0xFF);
  out[at + 1] = uint8_t(value >> 8);
}

size_t ColorTableBytes(uint8_t packed) { return size_t(3) << ((packed & 7) + 1); }

// The position after a chain of data sub-blocks starting at `at` (its zero-length terminator
// included), or nothing when the chain runs past the end.
std::optional<size_t> SkipSubBlocks(std::span<const uint8_t> data, size_t at) {
  while (at < data.size()) {
    size_t length = data[at++];
    if (length == 0) return at;
    if (length > data.size() - at) return std::nullopt;
    at += length;
  }
  return std::nullopt;
}

struct GraphicControl {
  size_t offset = 0, size = 0;
  uint8_t flags = 0;
  uint16_t delay = 0;
};

void Append(std::vector<uint8_t>& out, std::span<const uint8_t> data, size_t offset, size_t size) {
  out.insert(out.end(), data.begin() + ptrdiff_t(offset), data.begin() + ptrdiff_t(offset + size));
}

}  // namespace

std::string_view GifErrorText(GifError error) {
  switch (error) {
    case GifError::kNone: return "no error";
    case GifError::kNotGif: return "not a GIF stream";
    case GifError::kTruncated: return "GIF header or colour table truncated";
    case GifError::kBadScreenSize: return "GIF logical screen empty or too large";
    case GifError::kTooLarge: return "GIF stream too large";
    case GifError::kNoImage: return "GIF stream holds no complete image";
    case GifError::kTooManyBlocks: return "GIF extension chain too long";
  }
  return "unknown GIF error";
}

bool LooksLikeGif(std::span<const uint8_t> data) {
  return data.size() >= 3 && data[0] == 'G' && data[1] == 'I' && data[2] == 'F';
}

GifSplit SplitGif(std::span<const uint8_t> data, bool build_frames, const GifLimits& limits) {
  GifSplit split;
  if (!LooksLikeGif(data)) {
    split.error = GifError::kNotGif;
    return split;
  }
  if (data.size() > limits.max_input_bytes) {
    split.error = GifError::kTooLarge;
    return split;
  }
  if (data.size() < kHeaderSize) {
    split.error = GifError::kTruncated;
    return split;
  }
  split.width = ReadU16(data, 6);
  split.height = ReadU16(data, 8);
  if (split.width == 0 || split.height == 0 || split.width > limits.max_screen_side ||
      split.height > limits.max_screen_side || uint64_t(split.width) * uint64_t(split.height) > limits.max_screen_pixels) {
    split.error = GifError::kBadScreenSize;
    return split;
  }
  const uint8_t screen_flags = data[10];
  split.background_index = data[11];
  size_t pos = kHeaderSize;
  if (screen_flags & 0x80) {
    size_t table_bytes = ColorTableBytes(screen_flags);
    if (table_bytes > data.size() - pos) {
      split.error = GifError::kTruncated;
      return split;
    }
    split.global_color_table = data.subspan(pos, table_bytes);
    pos += table_bytes;
    size_t entry = size_t(split.background_index) * 3;
    if (entry + 2 < table_bytes) {
      const uint8_t* rgb = split.global_color_table.data() + entry;
      split.background_color = uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2];
    }
  }
  const size_t prologue_size = pos;

  std::optional<GraphicControl> control;
  size_t extensions = 0;
  uint64_t frame_pixels = 0;
  while (pos < data.size()) {
    const uint8_t introducer = data[pos];
    if (introducer == kExtensionIntroducer) {
      if (++extensions > limits.max_extensions_per_image) {
        split.error = GifError::kTooManyBlocks;
        split.frames.clear();
        return split;
      }
      if (data.size() - pos < 2) break;
      std::optional<size_t> end = SkipSubBlocks(data, pos + 2);
      if (!end) break;
      // A graphic control extension has exactly one four-byte sub-block; anything else with its
      // label is skipped like an unknown extension.
      if (data[pos + 1] == kGraphicControlLabel && data[pos + 2] == 4 && *end == pos + 2 + 1 + 4 + 1) {
        control = GraphicControl{pos, *end - pos, data[pos + 3], ReadU16(data, pos + 4)};
      }
      pos = *end;
      continue;
    }
    if (introducer != kImageSeparator) break;  // the trailer, or bytes no decoder would read on

    const size_t descriptor = pos;
    if (data.size() - descriptor < kDescriptorSize) break;
    const int left = ReadU16(data, descriptor + 1), top = ReadU16(data, descriptor + 3);
    const int width = ReadU16(data, descriptor + 5), height = ReadU16(data, descriptor + 7);
    const uint8_t image_flags = data[descriptor + 9];
    size_t cursor = descriptor + kDescriptorSize;
    if (image_flags & 0x80) {
      size_t table_bytes = ColorTableBytes(image_flags);
      if (table_bytes > data.size() - cursor) break;
      cursor += table_bytes;
    }
    if (cursor >= data.size()) break;  // the code size byte is missing
    std::optional<size_t> end = SkipSubBlocks(data, cursor + 1);
    if (!end) break;
    ++split.image_count;

    const uint64_t area = uint64_t(width) * uint64_t(height);
    const bool on_screen = width > 0 && height > 0 && left < split.width && top < split.height;
    // Each frame becomes a picture of its own size, held to the bounds of a whole screen.
    const bool bounded = width <= limits.max_screen_side && height <= limits.max_screen_side &&
                         area <= limits.max_screen_pixels;
    if (build_frames && on_screen && bounded && split.frames.size() < limits.max_frames &&
        area <= limits.max_frame_pixels - frame_pixels) {
      frame_pixels += area;
      GifFrame frame;
      frame.left = left;
      frame.top = top;
      frame.width = width;
      frame.height = height;
      frame.source_offset = control ? control->offset : descriptor;
      frame.source_size = *end - frame.source_offset;
      if (control) {
        frame.delay = control->delay;
        frame.disposal = (control->flags >> 2) & 7;
      }
      std::vector<uint8_t>& gif = frame.gif;
      gif.reserve(prologue_size + (control ? control->size : 0) + (*end - descriptor) + 1);
      Append(gif, data, 0, prologue_size);
      WriteU16(gif, 6, uint16_t(width));
      WriteU16(gif, 8, uint16_t(height));
      if (control) Append(gif, data, control->offset, control->size);
      size_t placed = gif.size();
      Append(gif, data, descriptor, *end - descriptor);
      WriteU16(gif, placed + 1, 0);
      WriteU16(gif, placed + 3, 0);
      gif.push_back(kTrailer);
      split.frames.push_back(std::move(frame));
    }
    control.reset();
    extensions = 0;
    pos = *end;
  }
  if (split.image_count == 0) split.error = GifError::kNoImage;
  return split;
}

int GifFrameDelayMs(std::optional<uint16_t> delay) {
  if (!delay || *delay < 5) return 100;
  return int(*delay) * 10;
}

}  // namespace lectern
