#include "fax_files.h"

#include <tiffio.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

namespace pw::cli::testing {

namespace {

using TiffPtr = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

TiffPtr openTiff(const std::string& path) {
  return {TIFFOpen(path.c_str(), "r"), &TIFFClose};
}

}  // namespace

int tiffPageCount(const std::string& path) {
  const TiffPtr tiff = openTiff(path);
  return tiff ? TIFFNumberOfDirectories(tiff.get()) : -1;
}

std::string tiffPagePbm(const std::string& path, int page) {
  const TiffPtr tiff = openTiff(path);
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

bool scrambleStrip(const std::string& path, int page) {
  uint64_t offset = 0;
  uint64_t size = 0;
  {
    const TiffPtr tiff = openTiff(path);
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
