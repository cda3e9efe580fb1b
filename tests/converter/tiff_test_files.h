// TIFF files written with libtiff for the image tests, and a reader for rendered image blocks.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace pw::testing {

struct TiffFile {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits = 1;
  uint16_t samples = 1;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t fillOrder = FILLORDER_MSB2LSB;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  std::vector<uint16_t> colourMap;         // red, green and blue thirds for a palette image
  std::vector<std::vector<uint8_t>> rows;  // whole scan lines in file order
};

/// Writes file at 204 x 196 dpi; false when libtiff refused.
inline bool writeTiff(const std::string& path, const TiffFile& file) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, file.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, file.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, file.bits);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, file.samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, file.photometric);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, file.compression);
  TIFFSetField(tif, TIFFTAG_FILLORDER, file.fillOrder);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, file.orientation);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 204.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, 196.0f);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, file.height);
  if (!file.colourMap.empty()) {
    const std::size_t third = file.colourMap.size() / 3;
    TIFFSetField(tif, TIFFTAG_COLORMAP, file.colourMap.data(), file.colourMap.data() + third,
                 file.colourMap.data() + 2 * third);
  }
  bool ok = true;
  for (uint32_t row = 0; ok && row < file.height; ++row) {
    std::vector<uint8_t> line = file.rows[row];  // libtiff may encode in place
    ok = TIFFWriteScanline(tif, line.data(), row, 0) == 1;
  }
  TIFFClose(tif);
  return ok;
}

/// Reads an image block: BITMAPFILEHEADER, BITMAPINFOHEADER, colour table, pixels.
class BmpView {
 public:
  explicit BmpView(const void* block) : bytes_(static_cast<const uint8_t*>(block)) {}

  uint32_t u32(std::size_t offset) const {
    uint32_t value;
    std::memcpy(&value, bytes_ + offset, 4);
    return value;
  }
  uint16_t u16(std::size_t offset) const { return static_cast<uint16_t>(u32(offset)); }
  const uint8_t* info() const { return bytes_ + 14; }
  int32_t width() const { return static_cast<int32_t>(u32(18)); }
  int32_t height() const { return static_cast<int32_t>(u32(22)); }
  uint16_t bitCount() const { return u16(28); }
  std::size_t stride() const {
    return (static_cast<std::size_t>(width()) * bitCount() + 31) / 32 * 4;
  }
  /// The stored scan line of image row y (0 at the top) of this bottom-up bitmap.
  const uint8_t* row(int32_t y) const { return bytes_ + u32(10) + (height() - 1 - y) * stride(); }
  /// Pixel (x, y) as 0xRRGGBB.
  uint32_t colour(int32_t x, int32_t y) const {
    const uint8_t* bgr =
        bitCount() == 1 ? bytes_ + 54 + 4 * ((row(y)[x / 8] >> (7 - x % 8)) & 1) : row(y) + 3 * x;
    return static_cast<uint32_t>(bgr[2]) << 16 | bgr[1] << 8 | bgr[0];
  }

 private:
  const uint8_t* bytes_;
};

}  // namespace pw::testing
