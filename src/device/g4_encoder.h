// CCITT Group 4 (ITU T.6) coding of a page, as the bare data a PDF CCITTFaxDecode stream holds.
#pragma once

#include <cstdint>
#include <vector>

#include "device/page_raster.h"

namespace pw {

/// The page coded with libtiff's Group 4 coder (T6Options 0, no byte-aligned rows). False with
/// last error 8 when memory runs out or libtiff fails.
[[nodiscard]] bool encodeG4(const PageRaster& page, std::vector<uint8_t>* coded);

}  // namespace pw
