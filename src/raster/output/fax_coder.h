// CCITT coding of one page as a TIFF Class F strip, apart from any output file.
#pragma once

#include "raster/output/ccitt_coder.h"
#include "raster/output/page_writer.h"
#include "raster/page_raster.h"

namespace pw {

/// How our coder writes a strip of the given compression so that the strip is what the TIFF
/// tags of detail::setFaxPageTags promise: G3 with an EOL before each row, no fill bits and no
/// RTC, two-dimensional with K = 4 above 150 lines per inch and 2 below, as readers take K from
/// the resolution; G4 ending in EOFB.
CcittOptions faxCodingOptions(FaxCompression compression, int dpiY);

/// The page's single strip coded by the given coder as a TIFF Class F page of the given
/// compression stores it, left in coded->bytes(). Both coders write the same bytes. Safe to call
/// from several threads at once. False with last error 8 when memory runs out or libtiff fails.
[[nodiscard]] bool codeFaxPage(const PageRaster& page, FaxCompression compression, int dpiY,
                               FaxCoder coder, CodedPage* coded);

}  // namespace pw
