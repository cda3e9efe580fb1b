// The in-memory BMP file that image libraries hand to the converter: a 14-byte file header, a
// BITMAPINFO (40-byte header and colour table) and the pixel rows, in one heap block.
#pragma once

#include <cstdint>

namespace pw {

inline constexpr uint32_t kBitmapInfoHeaderSize = 40;

// Hostile headers can claim any size. 256 MiB bounds both the BMP pixel array and the 32-bit
// raster that colour images are decoded through: 64 Mpixel, an A4 page at 600 dpi twice over,
// while a fax page needs under 1 MiB at 1 bit per pixel.
inline constexpr uint64_t kMaxImageBytes = uint64_t{256} << 20;
// Every pixel passes through a 32-bit raster or a scan-line loop, so decoding time grows with the
// pixel count even where 1 bit per pixel keeps the bytes small: the raster's 64 Mpixel for all.
inline constexpr uint64_t kMaxImagePixels = kMaxImageBytes / 4;

/// Where a decoded image goes: the sizes of the block's parts.
struct BmpLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bitCount = 0;
  uint32_t colours = 0;  // entries in the colour table: 2 for 1 bit per pixel, else none
  uint64_t stride = 0;   // bytes per row, a multiple of 4
  uint64_t pixelOffset = 0;
  uint64_t totalSize = 0;
};

/// Lays out a bottom-up bitmap of width × height at bitCount (1 or 24) bits per pixel. False with
/// last error kErrorImageTooLarge when it would exceed kMaxImagePixels or kMaxImageBytes.
[[nodiscard]] bool planBitmapBlock(uint32_t width, uint32_t height, uint16_t bitCount,
                                   BmpLayout* layout);

/// Fills the file header and the BITMAPINFOHEADER of block and zeroes the colour table.
void writeBitmapHeaders(unsigned char* block, const BmpLayout& layout, int32_t xPelsPerMetre,
                        int32_t yPelsPerMetre);

/// The pixel rows that follow a BITMAPINFO: after its header, its colour table and, for
/// BI_BITFIELDS with a plain header, the three colour masks.
const void* bitmapPixels(const void* bitmapInfo);

}  // namespace pw
