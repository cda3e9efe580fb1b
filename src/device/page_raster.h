// One 1-bit fax page in memory, with the clipped drawing primitives the device needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/bit_blit.h"

namespace pw {

/// A page of width x height dots, rows most significant bit first, 1 = black (the
/// min-is-white layout that TIFF Class F stores). Every drawing call clips to the page.
class PageRaster {
 public:
  PageRaster(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  size_t stride() const { return stride_; }
  const uint8_t* data() const { return bits_.data(); }
  const uint8_t* row(int y) const { return bits_.data() + static_cast<size_t>(y) * stride_; }
  uint8_t* row(int y) { return bits_.data() + static_cast<size_t>(y) * stride_; }
  size_t byteSize() const { return bits_.size(); }

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
  int width_;
  int height_;
  size_t stride_;
  std::vector<uint8_t> bits_;
};

}  // namespace pw
