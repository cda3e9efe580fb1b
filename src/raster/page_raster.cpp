#include "raster/page_raster.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

namespace pw {

namespace {

// The raster's rows are most significant bit first, byte by byte.
uint64_t toBigEndian(uint64_t value) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(value);
  return value;
}

}  // namespace

PageRaster::PageRaster(int width, int height)
    : width_(width),
      height_(height),
      stride_(static_cast<size_t>(width + 7) / 8),
      bits_(static_cast<uint8_t*>(std::calloc(byteSize() > 0 ? byteSize() : 1, 1))),
      inked_(static_cast<size_t>(height)) {
  if (!bits_) throw std::bad_alloc();
}

PageRaster::PageRaster(const PageRaster& other) : PageRaster(other.width_, other.height_) {
  std::memcpy(bits_.get(), other.bits_.get(), byteSize());
  inked_ = other.inked_;
}

void PageRaster::clear() {
  for (int top = 0; top < height_;) {
    if (!inked_[static_cast<size_t>(top)]) {
      ++top;
      continue;
    }
    int bottom = top + 1;
    while (bottom < height_ && inked_[static_cast<size_t>(bottom)]) ++bottom;
    std::memset(bits_.get() + static_cast<size_t>(top) * stride_, 0,
                stride_ * static_cast<size_t>(bottom - top));
    std::fill(inked_.begin() + top, inked_.begin() + bottom, uint8_t{0});
    top = bottom;
  }
}

bool PageRaster::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  return (row(y)[x >> 3] >> (7 - (x & 7))) & 1;
}

void PageRaster::fillRect(int x0, int y0, int x1, int y1, bool black) {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width_);
  y1 = std::min(y1, height_);
  if (x0 >= x1 || y0 >= y1) return;
  for (int y = y0; y < y1; ++y) {
    // A row that is not inked is white already.
    if (black || inked_[static_cast<size_t>(y)]) detail::fillBits(row(y), x0, x1 - x0, black);
  }
}

void PageRaster::blit(int x, int y, const uint8_t* bits, size_t pitch, int width, int height,
                      detail::BlitOp op) {
  const int left = std::max(x, 0);
  const int right = std::min(x + width, width_);
  const int top = std::max(y, 0);
  const int bottom = std::min(y + height, height_);
  if (left >= right || top >= bottom) return;
  const size_t srcX = static_cast<size_t>(left - x);
  for (int dy = top; dy < bottom; ++dy) {
    const uint8_t* src = bits + static_cast<size_t>(dy - y) * pitch;
    detail::blitBits(row(dy), left, src, srcX, right - left, op);
  }
}

void PageRaster::orNarrow(int x, int y, const uint64_t* rows, int width, int height) {
  const int top = std::max(y, 0);
  const int bottom = std::min(y + height, height_);
  if (x < 0 || x + width > width_) {
    // Rare: a glyph crossing the left or right edge takes the general clipped path.
    for (int dy = top; dy < bottom; ++dy) {
      uint8_t bytes[9] = {};
      const uint64_t value = rows[dy - y];
      for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (56 - 8 * i));
      blit(x, dy, bytes, sizeof bytes, width, 1, detail::BlitOp::kOr);
    }
    return;
  }
  if (top >= bottom) return;
  markInked(top, bottom);
  const int shift = x & 7;
  const int firstByte = x >> 3;
  const int byteCount = ((shift + width + 7) >> 3);
  uint8_t* const first = bits_.get() + firstByte;
  if (static_cast<size_t>(firstByte) + sizeof(uint64_t) <= stride_) {
    // One unaligned 64-bit OR per row: the bytes past the glyph's last one OR in zeros.
    for (int dy = top; dy < bottom; ++dy) {
      const uint64_t value = rows[dy - y] >> shift;
      uint8_t* dst = first + static_cast<size_t>(dy) * stride_;
      uint64_t word;
      std::memcpy(&word, dst, sizeof word);
      word |= toBigEndian(value);
      std::memcpy(dst, &word, sizeof word);
    }
    return;
  }
  for (int dy = top; dy < bottom; ++dy) {
    const uint64_t value = rows[dy - y] >> shift;
    if (value == 0) continue;
    uint8_t* dst = bits_.get() + static_cast<size_t>(dy) * stride_ + firstByte;
    for (int i = 0; i < byteCount; ++i) dst[i] |= static_cast<uint8_t>(value >> (56 - 8 * i));
  }
}

}  // namespace pw
