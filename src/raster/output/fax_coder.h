// CCITT coding of one page with libtiff, apart from any output file.
#pragma once

#include "raster/output/page_writer.h"
#include "raster/page_raster.h"

namespace pw {

/// The page's single strip coded as a TIFF Class F page of the given compression stores it (G3
/// without RTC, G4 with T6Options 0), left in coded->bytes(). Safe to call from several threads
/// at once. False with last error 8 when memory runs out or libtiff fails.
[[nodiscard]] bool codeFaxPage(const PageRaster& page, FaxCompression compression, int dpiY,
                               CodedPage* coded);

}  // namespace pw
