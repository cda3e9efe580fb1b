#include "common/libtiff_fax.h"

#include <cstring>

#include "raster/output/tiff_stream.h"

namespace pw::testing {

namespace {

bool setTags(TIFF* tif, int width, int height, const CcittOptions& options) {
  const bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width)) &&
                  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height)) &&
                  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1) &&
                  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1) &&
                  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
                  TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
                  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(height)) &&
                  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 204.0) &&
                  TIFFSetField(tif, TIFFTAG_YRESOLUTION, options.k == 4 ? 196.0 : 98.0) &&
                  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  if (!ok) return false;
  if (options.coding == CcittCoding::kT6) {
    return TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4) &&
           TIFFSetField(tif, TIFFTAG_GROUP4OPTIONS, 0);
  }
  const uint32_t t4Options = (options.coding == CcittCoding::kT4TwoD ? GROUP3OPT_2DENCODING : 0) |
                             (options.alignEol ? GROUP3OPT_FILLBITS : 0);
  return TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3) &&
         TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, t4Options) &&
         TIFFSetField(tif, TIFFTAG_FAXMODE, FAXMODE_CLASSF);
}

}  // namespace

std::vector<uint8_t> packedRows(const CcittImage& image) {
  const size_t rowBytes = static_cast<size_t>(image.width + 7) / 8;
  std::vector<uint8_t> rows(rowBytes * static_cast<size_t>(image.height));
  const auto last = static_cast<uint8_t>(0xFF << ((8 - image.width % 8) % 8));
  for (int y = 0; y < image.height; ++y) {
    uint8_t* row = rows.data() + static_cast<size_t>(y) * rowBytes;
    std::memcpy(row, image.bits + static_cast<size_t>(y) * image.stride, rowBytes);
    row[rowBytes - 1] &= last;
  }
  return rows;
}

std::vector<uint8_t> libtiffCode(const CcittImage& image, const CcittOptions& options) {
  std::vector<uint8_t> file;
  detail::TiffStream stream;
  stream.memory = &file;
  TiffPtr tif = detail::openTiffStream(stream, "w");
  std::vector<uint8_t> rows = packedRows(image);
  uint64_t *offsets = nullptr, *counts = nullptr;
  if (!tif || !setTags(tif.get(), image.width, image.height, options) ||
      TIFFWriteEncodedStrip(tif.get(), 0, rows.data(), static_cast<tmsize_t>(rows.size())) < 0 ||
      !TIFFGetField(tif.get(), TIFFTAG_STRIPOFFSETS, &offsets) ||
      !TIFFGetField(tif.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) || stream.libraryError) {
    return {};
  }
  const auto begin = file.begin() + static_cast<std::ptrdiff_t>(offsets[0]);
  return {begin, begin + static_cast<std::ptrdiff_t>(counts[0])};
}

std::vector<uint8_t> libtiffDecode(const std::vector<uint8_t>& coded, int width, int height,
                                   const CcittOptions& options) {
  std::vector<uint8_t> file;
  {
    detail::TiffStream stream;
    stream.memory = &file;
    TiffPtr tif = detail::openTiffStream(stream, "w");
    if (!tif || !setTags(tif.get(), width, height, options) ||
        TIFFWriteRawStrip(tif.get(), 0, const_cast<uint8_t*>(coded.data()),
                          static_cast<tmsize_t>(coded.size())) < 0) {
      return {};
    }
    tif.reset();
    if (stream.libraryError) return {};
  }
  detail::TiffStream stream;
  stream.memory = &file;
  TiffPtr tif = detail::openTiffStream(stream, "r");
  const size_t rowBytes = static_cast<size_t>(width + 7) / 8;
  std::vector<uint8_t> rows(rowBytes * static_cast<size_t>(height));
  if (!tif ||
      TIFFReadEncodedStrip(tif.get(), 0, rows.data(), static_cast<tmsize_t>(rows.size())) !=
          static_cast<tmsize_t>(rows.size()) ||
      stream.libraryError || stream.libraryWarning) {
    return {};
  }
  return packedRows(CcittImage{rows.data(), rowBytes, width, height, nullptr});
}

}  // namespace pw::testing
