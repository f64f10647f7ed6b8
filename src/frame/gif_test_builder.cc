#include "frame/gif_test_builder.h"

namespace lectern::testing {
namespace {

void PutU16(std::string& out, int value) {
  out.push_back(char(value & 0xFF));
  out.push_back(char((value >> 8) & 0xFF));
}

// log2 of the table size the entries need, at least 1 (two entries), as the packed field wants it.
int TableBits(size_t entries) {
  int bits = 1;
  while ((size_t(1) << bits) < entries && bits < 8) ++bits;
  return bits;
}

void PutTable(std::string& out, const std::vector<uint32_t>& palette, int bits) {
  for (size_t i = 0; i < (size_t(1) << bits); ++i) {
    uint32_t rgb = i < palette.size() ? palette[i] : 0;
    out.push_back(char((rgb >> 16) & 0xFF));
    out.push_back(char((rgb >> 8) & 0xFF));
    out.push_back(char(rgb & 0xFF));
  }
}

}  // namespace

TestGifImage SolidImage(int left, int top, int width, int height, uint8_t index) {
  TestGifImage image;
  image.left = left;
  image.top = top;
  image.width = width;
  image.height = height;
  image.pixels.assign(size_t(width) * size_t(height), index);
  return image;
}

std::string EncodeGifImageData(const std::vector<uint8_t>& pixels, int min_code_size) {
  const int width = min_code_size + 1;
  const unsigned clear = 1u << min_code_size, end = clear + 1;
  // After a clear the first literal adds no entry; each later one adds one. Stopping before the
  // table reaches 2^width keeps every code `width` bits wide.
  const size_t literals_per_clear = (size_t(1) << min_code_size) - 2;
  std::string codes;
  uint32_t bit_buffer = 0;
  int bit_count = 0;
  auto emit = [&](unsigned code) {
    bit_buffer |= code << bit_count;
    bit_count += width;
    while (bit_count >= 8) {
      codes.push_back(char(bit_buffer & 0xFF));
      bit_buffer >>= 8;
      bit_count -= 8;
    }
  };
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % literals_per_clear == 0) emit(clear);
    emit(pixels[i] & (clear - 1));
  }
  emit(end);
  if (bit_count > 0) codes.push_back(char(bit_buffer & 0xFF));

  std::string out(1, char(min_code_size));
  for (size_t at = 0; at < codes.size(); at += 255) {
    size_t n = std::min<size_t>(255, codes.size() - at);
    out.push_back(char(n));
    out.append(codes, at, n);
  }
  out.push_back('\0');
  return out;
}

std::string BuildGif(const TestGif& gif) {
  std::string out = "GIF89a";
  PutU16(out, gif.width);
  PutU16(out, gif.height);
  int global_bits = TableBits(gif.palette.size());
  out.push_back(char(gif.palette.empty() ? 0 : (0x80 | 0x70 | (global_bits - 1))));
  out.push_back(char(gif.background_index));
  out.push_back('\0');
  if (!gif.palette.empty()) PutTable(out, gif.palette, global_bits);
  if (gif.looping) {
    out += "\x21\xFF\x0BNETSCAPE2.0";
    out += std::string("\x03\x01\x00\x00\x00", 5);
  }
  for (const TestGifImage& image : gif.images) {
    if (image.delay || image.disposal || image.transparent_index) {
      out += "\x21\xF9\x04";
      out.push_back(char(((image.disposal & 7) << 2) | (image.transparent_index ? 1 : 0)));
      PutU16(out, image.delay.value_or(0));
      out.push_back(char(image.transparent_index.value_or(0)));
      out.push_back('\0');
    }
    out.push_back(',');
    PutU16(out, image.left);
    PutU16(out, image.top);
    PutU16(out, image.width);
    PutU16(out, image.height);
    int bits = TableBits(image.local_palette.empty() ? gif.palette.size() : image.local_palette.size());
    out.push_back(char(image.local_palette.empty() ? 0 : (0x80 | (bits - 1))));
    if (!image.local_palette.empty()) PutTable(out, image.local_palette, bits);
    out += EncodeGifImageData(image.pixels, std::max(2, bits));
  }
  out.push_back(';');
  return out;
}

}  // namespace lectern::testing
