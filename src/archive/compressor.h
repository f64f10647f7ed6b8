// The compressor named by the archive header. Only LZO1X exists; its two levels are the fast
// LZO1X-1 and the slow but tighter LZO1X-999.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace lectern {

class ICompressor {
 public:
  // 0 on success, negative on failure. `dst_len` is the capacity on entry and the length produced
  // on return.
  virtual int32_t Compress(uint8_t* dst, uint32_t* dst_len, const uint8_t* src, uint32_t src_len, int level) = 0;
  virtual int32_t Decompress(uint8_t* dst, uint32_t* dst_len, const uint8_t* src, uint32_t src_len) = 0;
  virtual uint32_t GetType() const = 0;
  virtual void Release() = 0;
  virtual ~ICompressor() = default;
};

struct CompressorDeleter {
  void operator()(ICompressor* c) const { c->Release(); }
};
using CompressorPtr = std::unique_ptr<ICompressor, CompressorDeleter>;

class LzoCompressor final : public ICompressor {
 public:
  static constexpr int kLevelFast = 0;
  static constexpr int kLevelBest = 1;
  static constexpr uint32_t kType = 2;

  LzoCompressor();
  int32_t Compress(uint8_t* dst, uint32_t* dst_len, const uint8_t* src, uint32_t src_len, int level) override;
  int32_t Decompress(uint8_t* dst, uint32_t* dst_len, const uint8_t* src, uint32_t src_len) override;
  uint32_t GetType() const override { return kType; }
  void Release() override { delete this; }

 private:
  ~LzoCompressor() override = default;
  std::vector<uint8_t> work_;
};

// 0xFFFFFFFF or 2 give an LzoCompressor; any other id none.
CompressorPtr CreateCompressor(uint32_t id);

// The most bytes LZO1X can make of `src_len` bytes: guards against hostile content sizes.
uint64_t MaxLzoExpansion(uint64_t src_len);
// Room that a compressed copy of `src_len` bytes may need (incompressible data grows).
uint32_t LzoCompressBound(uint32_t src_len);

}  // namespace lectern
