// Reading back what the command wrote, and writing TIFF files with chosen departures from
// Class F for the checker.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <string>

namespace pw::cli::testing {

/// Page count of a TIFF file; -1 when it cannot be opened.
int tiffPageCount(const std::string& path);

/// Page `page` (from 0) of a bilevel TIFF as a raw PBM file, as g32pbm writes it; empty when it
/// cannot be decoded.
std::string tiffPagePbm(const std::string& path, int page);

/// A 16-bit tag of the first page; -1 when absent.
int tiffTag16(const std::string& path, uint32_t tag);

/// How writeFaxTiff lays out its blank pages; the defaults make a valid Class F file.
struct TiffLayout {
  uint32_t width = 1728;
  uint16_t compression = COMPRESSION_CCITTFAX4;
  uint16_t photometric = PHOTOMETRIC_MINISWHITE;
  float xResolution = 204;
  float yResolution = 196;
  uint32_t rowsPerStrip = 0;  ///< 0: the whole page in one strip
  bool fillOrder = true;
  bool pageNumber = true;
  int pageTotalOffset = 0;  ///< added to the total written in PageNumber
  bool pageSubfile = true;
};

/// Writes pages blank pages of 64 rows; false when libtiff refused.
bool writeFaxTiff(const std::string& path, int pages, const TiffLayout& layout);

/// Overwrites the second half of page `page`'s (1-based) first strip with pseudo-random bytes;
/// false when the file or the page cannot be read.
bool scrambleStrip(const std::string& path, int page);

}  // namespace pw::cli::testing
