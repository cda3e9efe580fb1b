// Device-independent bitmaps: header checks and reduction of scan lines to black and white.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "surface/drawing_surface.h"

namespace pw {

/// Largest side accepted, far above any page, so that row sizes cannot overflow.
inline constexpr int32_t kMaxDibSide = 1 << 16;

/// A checked DIB header.
struct DibLayout {
  int width = 0;
  int height = 0;  ///< always positive
  bool topDown = false;
  int bitCount = 0;
  size_t stride = 0;              ///< bytes per scan line, padded to 4
  std::array<bool, 256> black{};  ///< palette entries that print black
};

/// Checks a BITMAPINFO (header followed by its colour table) before any of it is used: header
/// size at least 40, one plane, BI_RGB, 1, 4, 8, 24 or 32 bits, sides within kMaxDibSide,
/// DIB_RGB_COLORS and a colour table no longer than the bit depth allows. False when any fails.
bool readDibLayout(const BitmapInfoHeader* info, uint32_t colorUse, DibLayout* layout);

/// Reduces one scan line to a 1-bit row (most significant bit first, 1 = black; at least
/// (width + 7) / 8 bytes). Colours darker than half luminance print black.
void dibRowToBits(const DibLayout& layout, const uint8_t* scan, uint8_t* out);

}  // namespace pw
