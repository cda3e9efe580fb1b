#include "raster/bit_blit.h"

#include <algorithm>
#include <cstring>

namespace pw::detail {

namespace {

inline uint8_t fetch8(const uint8_t* src, size_t bit) {
  const size_t byte = bit >> 3;
  const unsigned shift = bit & 7;
  if (shift == 0) return src[byte];
  return static_cast<uint8_t>((src[byte] << shift) | (src[byte + 1] >> (8 - shift)));
}

inline uint8_t spanMask(int firstBit, int bits) {
  return static_cast<uint8_t>((0xFFu >> firstBit) & (0xFFu << (8 - firstBit - bits)));
}

}  // namespace

void blitBits(uint8_t* dst, int dstX, const uint8_t* src, size_t srcX, int count, BlitOp op) {
  while (count > 0) {
    const int byte = dstX >> 3;
    const int bit = dstX & 7;
    const int take = std::min(8 - bit, count);
    const uint8_t mask = spanMask(bit, take);
    const uint8_t bits = static_cast<uint8_t>(fetch8(src, srcX) >> bit) & mask;
    if (op == BlitOp::kOr) {
      dst[byte] |= bits;
    } else {
      dst[byte] = static_cast<uint8_t>((dst[byte] & ~mask) | bits);
    }
    dstX += take;
    srcX += static_cast<size_t>(take);
    count -= take;
  }
}

void fillBits(uint8_t* dst, int dstX, int count, bool black) {
  if (count <= 0) return;
  const int first = dstX >> 3;
  const int last = (dstX + count - 1) >> 3;
  const uint8_t headMask = static_cast<uint8_t>(0xFFu >> (dstX & 7));
  const uint8_t tailMask = static_cast<uint8_t>(0xFFu << (7 - ((dstX + count - 1) & 7)));
  auto apply = [&](int index, uint8_t mask) {
    dst[index] =
        black ? static_cast<uint8_t>(dst[index] | mask) : static_cast<uint8_t>(dst[index] & ~mask);
  };
  if (first == last) {
    apply(first, headMask & tailMask);
    return;
  }
  apply(first, headMask);
  if (last - first > 1) {
    std::memset(dst + first + 1, black ? 0xFF : 0x00, static_cast<size_t>(last - first - 1));
  }
  apply(last, tailMask);
}

}  // namespace pw::detail
