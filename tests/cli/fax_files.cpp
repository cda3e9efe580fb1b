#include "fax_files.h"

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace pw::cli::testing {

namespace {

constexpr uint32_t kTestRows = 64;

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

TiffPtr openTiff(const std::string& path, const char* mode) {
  return TiffPtr(TIFFOpen(path.c_str(), mode));
}

}  // namespace

int tiffPageCount(const std::string& path) {
  TiffPtr tiff = openTiff(path, "r");
  if (!tiff) return -1;
  return TIFFNumberOfDirectories(tiff.get());
}

std::string tiffPagePbm(const std::string& path, int page) {
  TiffPtr tiff = openTiff(path, "r");
  if (!tiff || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page))) return {};
  uint32_t width = 0;
  uint32_t length = 0;
  TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &length);
  std::string pbm = "P4\n" + std::to_string(width) + " " + std::to_string(length) + "\n";
  std::string row(static_cast<std::size_t>(TIFFScanlineSize(tiff.get())), '\0');
  for (uint32_t y = 0; y < length; ++y) {
    if (TIFFReadScanline(tiff.get(), row.data(), y, 0) < 0) return {};
    pbm += row;
  }
  return pbm;
}

int tiffTag16(const std::string& path, uint32_t tag) {
  TiffPtr tiff = openTiff(path, "r");
  uint16_t value = 0;
  if (!tiff || !TIFFGetField(tiff.get(), tag, &value)) return -1;
  return value;
}

bool writeFaxTiff(const std::string& path, int pages, const TiffLayout& layout) {
  TiffPtr tiff = openTiff(path, "w");
  if (!tiff) return false;
  TIFF* t = tiff.get();
  std::vector<uint8_t> row((layout.width + 7) / 8, 0);
  for (int page = 0; page < pages; ++page) {
    if (layout.pageSubfile) TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, layout.width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, kTestRows);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_COMPRESSION, layout.compression);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, layout.photometric);
    if (layout.fillOrder) TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t, TIFFTAG_XRESOLUTION, layout.xResolution);
    TIFFSetField(t, TIFFTAG_YRESOLUTION, layout.yResolution);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, layout.rowsPerStrip ? layout.rowsPerStrip : kTestRows);
    if (layout.pageNumber) {
      TIFFSetField(t, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page),
                   static_cast<uint16_t>(pages + layout.pageTotalOffset));
    }
    for (uint32_t y = 0; y < kTestRows; ++y) {
      if (TIFFWriteScanline(t, row.data(), y, 0) < 0) return false;
    }
    if (!TIFFWriteDirectory(t)) return false;
  }
  return true;
}

bool scrambleStrip(const std::string& path, int page) {
  uint64_t offset = 0;
  uint64_t size = 0;
  {
    TiffPtr tiff = openTiff(path, "r");
    uint64_t* offsets = nullptr;
    uint64_t* sizes = nullptr;
    if (!tiff || !TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1)) ||
        !TIFFGetField(tiff.get(), TIFFTAG_STRIPOFFSETS, &offsets) ||
        !TIFFGetField(tiff.get(), TIFFTAG_STRIPBYTECOUNTS, &sizes)) {
      return false;
    }
    offset = offsets[0] + sizes[0] / 2;
    size = sizes[0] - sizes[0] / 2;
  }
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  if (!file) return false;
  std::minstd_rand random(page);
  bool ok = std::fseek(file, static_cast<long>(offset), SEEK_SET) == 0;
  for (uint64_t i = 0; ok && i < size; ++i)
    ok = std::fputc(static_cast<int>(random() & 0xFF), file) != EOF;
  return std::fclose(file) == 0 && ok;
}

}  // namespace pw::cli::testing
