#include "archive/compressor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "archive/format.h"

namespace lectern {
namespace {

std::vector<uint8_t> SampleText(size_t size) {
  std::string words = "<p>The reader opens pages straight from the book.</p>\n";
  std::vector<uint8_t> out;
  std::mt19937 rng(7);
  while (out.size() < size) {
    out.insert(out.end(), words.begin(), words.end());
    out.push_back(uint8_t(rng()));
  }
  out.resize(size);
  return out;
}

TEST(CompressorTest, BothLevelsRoundTrip) {
  CompressorPtr c = CreateCompressor(kCompressorDefault);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->GetType(), 2u);
  for (int level : {LzoCompressor::kLevelFast, LzoCompressor::kLevelBest}) {
    for (size_t size : {size_t(0), size_t(1), size_t(100), size_t(300000)}) {
      std::vector<uint8_t> input = SampleText(size);
      std::vector<uint8_t> packed(LzoCompressBound(uint32_t(size)));
      uint32_t packed_len = uint32_t(packed.size());
      ASSERT_EQ(c->Compress(packed.data(), &packed_len, input.data(), uint32_t(size), level), 0);
      std::vector<uint8_t> output(size + 1);
      uint32_t out_len = uint32_t(output.size());
      ASSERT_EQ(c->Decompress(output.data(), &out_len, packed.data(), packed_len), 0);
      ASSERT_EQ(out_len, size);
      output.resize(size);
      EXPECT_EQ(output, input) << "level " << level << " size " << size;
      EXPECT_LE(packed_len, MaxLzoExpansion(size) + 64);
      EXPECT_LE(out_len, MaxLzoExpansion(packed_len));
    }
  }
}

TEST(CompressorTest, RefusesBadLevelsIdsAndRoom) {
  CompressorPtr c = CreateCompressor(kCompressorLzo);
  std::vector<uint8_t> input = SampleText(1000), packed(2000);
  uint32_t len = uint32_t(packed.size());
  EXPECT_EQ(c->Compress(packed.data(), &len, input.data(), 1000, 2), -1);
  EXPECT_EQ(c->Compress(packed.data(), &len, input.data(), 1000, -1), -1);
  len = 10;  // far too little room: refused, never overrun
  EXPECT_LT(c->Compress(packed.data(), &len, input.data(), 1000, 0), 0);
  EXPECT_FALSE(CreateCompressor(1));
  EXPECT_FALSE(CreateCompressor(0));
  EXPECT_FALSE(CreateCompressor(3));
}

TEST(CompressorTest, DamagedOrOversizedStreamsFailInsideTheBuffer) {
  CompressorPtr c = CreateCompressor(kCompressorDefault);
  std::vector<uint8_t> input = SampleText(50000), packed(LzoCompressBound(50000));
  uint32_t packed_len = uint32_t(packed.size());
  ASSERT_EQ(c->Compress(packed.data(), &packed_len, input.data(), 50000, 1), 0);
  // Too small an output buffer: the bounded decompressor stops at its end.
  std::vector<uint8_t> small(1000);
  uint32_t len = uint32_t(small.size());
  EXPECT_LT(c->Decompress(small.data(), &len, packed.data(), packed_len), 0);
  // Truncated and scribbled streams fail (ASan watches the bounds).
  std::vector<uint8_t> out(50000);
  len = uint32_t(out.size());
  EXPECT_LT(c->Decompress(out.data(), &len, packed.data(), packed_len / 2), 0);
  std::mt19937 rng(1);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> damaged(packed.begin(), packed.begin() + packed_len);
    for (int k = 0; k < 8; ++k) damaged[rng() % damaged.size()] = uint8_t(rng());
    len = uint32_t(out.size());
    c->Decompress(out.data(), &len, damaged.data(), uint32_t(damaged.size()));
    EXPECT_LE(len, out.size());
  }
}

}  // namespace
}  // namespace lectern
