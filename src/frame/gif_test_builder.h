// GIF streams assembled byte by byte for tests, so each block's bytes are known exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lectern::testing {

struct TestGifImage {
  int left = 0, top = 0, width = 1, height = 1;
  // Colour indices, row by row; width × height of them.
  std::vector<uint8_t> pixels;
  // A graphic control extension is written when any of these is set.
  std::optional<uint16_t> delay;
  int disposal = 0;
  std::optional<uint8_t> transparent_index;
  // 0xRRGGBB entries; empty: the image uses the global table.
  std::vector<uint32_t> local_palette;
};

struct TestGif {
  int width = 1, height = 1;
  std::vector<uint32_t> palette;  // global table, 0xRRGGBB; empty: none
  uint8_t background_index = 0;
  bool looping = true;  // writes the looping application extension
  std::vector<TestGifImage> images;
};

// A solid image of one colour index.
TestGifImage SolidImage(int left, int top, int width, int height, uint8_t index);

// The LZW code stream of `pixels` in data sub-blocks (code size byte first, terminator last),
// clearing the table often enough that the code width never grows.
std::string EncodeGifImageData(const std::vector<uint8_t>& pixels, int min_code_size);

std::string BuildGif(const TestGif& gif);

}  // namespace lectern::testing
