// One 1-bit fax page in memory, with the clipped drawing primitives the device needs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "raster/bit_blit.h"

namespace pw {

/// A page of width x height dots, rows most significant bit first, 1 = black (the
/// min-is-white layout that TIFF Class F stores). Every drawing call clips to the page.
class PageRaster {
 public:
  PageRaster(int width, int height);
  PageRaster(const PageRaster& other);
  PageRaster(PageRaster&&) noexcept = default;
  PageRaster& operator=(const PageRaster&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  size_t stride() const { return stride_; }
  const uint8_t* data() const { return bits_.get(); }
  const uint8_t* row(int y) const { return bits_.get() + static_cast<size_t>(y) * stride_; }
  /// A row to write to; it counts as inked until the next clear().
  uint8_t* row(int y) {
    inked_[static_cast<size_t>(y)] = 1;
    return bits_.get() + static_cast<size_t>(y) * stride_;
  }
  size_t byteSize() const { return stride_ * static_cast<size_t>(height_); }
  /// Per row, 1 when it was drawn on since the last clear, so may hold black; 0 when it is
  /// white throughout.
  const uint8_t* inkedRows() const { return inked_.data(); }

  /// Makes the page white. Only inked rows are written, so that a page's untouched rows (and a
  /// new raster's memory) are never paged in for it.
  void clear();
  bool pixel(int x, int y) const;

  /// Fills [x0, x1) x [y0, y1) black or white.
  void fillRect(int x0, int y0, int x1, int y1, bool black);
  /// Combines a 1-bit image (rows of pitch bytes, one padding byte readable past each row's last
  /// bit) with its top-left corner at (x, y).
  void blit(int x, int y, const uint8_t* bits, size_t pitch, int width, int height,
            detail::BlitOp op);
  /// As blit with kOr, for a narrow image given as rows aligned to bit 63 (at most 56 wide).
  void orNarrow(int x, int y, const uint64_t* rows, int width, int height);

 private:
  struct FreeDeleter {
    void operator()(uint8_t* bits) const { std::free(bits); }
  };

  void markInked(int top, int bottom) {
    std::fill(inked_.begin() + top, inked_.begin() + bottom, uint8_t{1});
  }

  int width_;
  int height_;
  size_t stride_;
  // calloc'd: large blocks come zeroed from the system without being written.
  std::unique_ptr<uint8_t, FreeDeleter> bits_;
  std::vector<uint8_t> inked_;
};

}  // namespace pw
