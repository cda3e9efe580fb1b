// Bit-row operations on 1-bit rows stored most significant bit first (1 = black).
#pragma once

#include <cstddef>
#include <cstdint>

namespace pw::detail {

enum class BlitOp {
  kOr,    ///< sets the destination bits where the source is black
  kCopy,  ///< replaces the destination bits with the source
};

/// Combines count source bits starting at bit srcX of src into dst starting at bit dstX. The
/// source must be readable one byte past its last bit, so rows are stored with a padding byte.
void blitBits(uint8_t* dst, int dstX, const uint8_t* src, size_t srcX, int count, BlitOp op);

/// Sets (black) or clears (white) count bits of dst starting at bit dstX.
void fillBits(uint8_t* dst, int dstX, int count, bool black);

}  // namespace pw::detail
