#include "archive/compressor.h"

#include <lzo/lzo1x.h>

#include <mutex>

#include "archive/format.h"

namespace lectern {
namespace {

constexpr size_t kLzo1Work = 65536;    // LZO1X_1_MEM_COMPRESS
constexpr size_t kLzo999Work = 458752;  // LZO1X_999_MEM_COMPRESS

void InitLzoOnce() {
  static std::once_flag once;
  std::call_once(once, [] { lzo_init(); });
}

}  // namespace

LzoCompressor::LzoCompressor() { InitLzoOnce(); }

int32_t LzoCompressor::Compress(uint8_t* dst, uint32_t* dst_len, const uint8_t* src, uint32_t src_len, int level) {
  if (level != kLevelFast && level != kLevelBest) return -1;
  if (!dst || !dst_len || (!src && src_len)) return -1;
  if (*dst_len < LzoCompressBound(src_len)) return -1;  // LZO itself never checks its output room
  work_.assign(level == kLevelFast ? kLzo1Work : kLzo999Work, 0);
  lzo_uint out_len = *dst_len;
  int rc = level == kLevelFast ? lzo1x_1_compress(src, src_len, dst, &out_len, work_.data())
                               : lzo1x_999_compress(src, src_len, dst, &out_len, work_.data());
  if (rc != LZO_E_OK) return rc < 0 ? rc : -1;
  *dst_len = uint32_t(out_len);
  return 0;
}

int32_t LzoCompressor::Decompress(uint8_t* dst, uint32_t* dst_len, const uint8_t* src, uint32_t src_len) {
  if (!dst_len || (!src && src_len)) return -1;
  lzo_uint out_len = *dst_len;
  int rc = lzo1x_decompress_safe(src, src_len, dst, &out_len, nullptr);
  *dst_len = uint32_t(out_len);
  return rc;
}

CompressorPtr CreateCompressor(uint32_t id) {
  if (id == kCompressorDefault || id == kCompressorLzo) return CompressorPtr(new LzoCompressor());
  return nullptr;
}

uint64_t MaxLzoExpansion(uint64_t src_len) {
  // A run-length match costs at least one byte per 255 output bytes plus a few bytes of opcode,
  // so 256 bytes out per byte in, with slack for literals, is a safe ceiling.
  return src_len * 256 + 256;
}

uint32_t LzoCompressBound(uint32_t src_len) { return src_len + src_len / 16 + 64 + 3; }

}  // namespace lectern
