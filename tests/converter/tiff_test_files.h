// TIFF files written with libtiff for the image tests.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pw::testing {

struct TiffFile {
  uint32_t width = 0, height = 0;
  uint16_t bits = 1, samples = 1;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t fillOrder = FILLORDER_MSB2LSB;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  std::vector<uint16_t> colourMap = {};         // red, green and blue thirds for a palette image
  std::vector<std::vector<uint8_t>> rows = {};  // whole scan lines in file order
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
  // Without rows, a few bytes of strip under whatever size the header claims.
  char strip[16] = {};
  bool ok = !file.rows.empty() || TIFFWriteRawStrip(tif, 0, strip, sizeof strip) == 16;
  for (uint32_t row = 0; ok && row < file.rows.size(); ++row) {
    std::vector<uint8_t> line = file.rows[row];  // libtiff may encode in place
    ok = TIFFWriteScanline(tif, line.data(), row, 0) == 1;
  }
  TIFFClose(tif);
  return ok;
}

}  // namespace pw::testing
