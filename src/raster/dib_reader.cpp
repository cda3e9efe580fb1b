#include "raster/dib_reader.h"

#include <cstring>

namespace pw {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kDibRgbColors = 0;
constexpr uint32_t kMinHeaderSize = 40;
// BITMAPV5HEADER is the largest header Windows defines; anything larger is not a header.
constexpr uint32_t kMaxHeaderSize = 124;

// Rec. 601 weights in thousandths; black below half of full scale.
bool isDark(unsigned red, unsigned green, unsigned blue) {
  return (299 * red + 587 * green + 114 * blue) * 2 < 255 * 1000;
}

}  // namespace

bool readDibLayout(const BitmapInfoHeader* info, uint32_t colorUse, DibLayout* layout) {
  if (!info || colorUse != kDibRgbColors) return false;
  if (info->biSize < kMinHeaderSize || info->biSize > kMaxHeaderSize) return false;
  if (info->biPlanes != 1 || info->biCompression != kBiRgb) return false;
  const int bits = info->biBitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
  if (info->biWidth <= 0 || info->biWidth > kMaxDibSide) return false;
  if (info->biHeight == 0 || info->biHeight < -kMaxDibSide || info->biHeight > kMaxDibSide) {
    return false;
  }
  DibLayout result;
  result.width = info->biWidth;
  result.topDown = info->biHeight < 0;
  result.height = result.topDown ? -info->biHeight : info->biHeight;
  result.bitCount = bits;
  result.stride = (static_cast<size_t>(result.width) * static_cast<size_t>(bits) + 31) / 32 * 4;
  if (bits <= 8) {
    const uint32_t maxColours = 1u << bits;
    const uint32_t colours = info->biClrUsed == 0 ? maxColours : info->biClrUsed;
    if (colours > maxColours) return false;
    const auto* table = reinterpret_cast<const uint8_t*>(info) + info->biSize;
    for (uint32_t i = 0; i < colours; ++i) {
      const uint8_t* quad = table + 4 * i;  // RGBQUAD: blue, green, red, reserved
      result.black[i] = isDark(quad[2], quad[1], quad[0]);
    }
    // Indexes beyond a short colour table print black, as black is the first missing colour.
    for (uint32_t i = colours; i < maxColours; ++i) result.black[i] = true;
  }
  *layout = result;
  return true;
}

void dibRowToBits(const DibLayout& layout, const uint8_t* scan, uint8_t* out) {
  const int width = layout.width;
  const size_t outBytes = static_cast<size_t>(width + 7) / 8;
  if (layout.bitCount == 1) {
    // Each bit picks palette entry 0 or 1: a byte-wide select instead of a pixel loop.
    const uint8_t ones = layout.black[1] ? 0xFF : 0x00;
    const uint8_t zeros = layout.black[0] ? 0xFF : 0x00;
    for (size_t i = 0; i < outBytes; ++i) {
      out[i] = static_cast<uint8_t>((scan[i] & ones) | (~scan[i] & zeros));
    }
    return;
  }
  std::memset(out, 0, outBytes);
  for (int x = 0; x < width; ++x) {
    bool dark;
    switch (layout.bitCount) {
      case 4:
        dark = layout.black[(scan[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
        break;
      case 8:
        dark = layout.black[scan[x]];
        break;
      case 24: {
        const uint8_t* pixel = scan + 3 * static_cast<size_t>(x);
        dark = isDark(pixel[2], pixel[1], pixel[0]);
        break;
      }
      default: {
        const uint8_t* pixel = scan + 4 * static_cast<size_t>(x);
        dark = isDark(pixel[2], pixel[1], pixel[0]);
        break;
      }
    }
    if (dark) out[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
  }
}

}  // namespace pw
