// libtiff as the judge of CCITT coding: its coder's bytes for an image, and its decoder's pixels
// for a coded strip, each through a one-strip TIFF in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "raster/output/ccitt_coder.h"

namespace pw::testing {

/// The strip libtiff codes for the image under the TIFF tags that describe options (K from
/// the resolution: 196 lines per inch for k = 4, else 98); empty when libtiff fails.
std::vector<uint8_t> libtiffCode(const CcittImage& image, const CcittOptions& options);

/// The rows libtiff decodes from a coded strip, (width + 7) / 8 bytes each with the bits past
/// the width cleared; empty when libtiff reports an error.
std::vector<uint8_t> libtiffDecode(const std::vector<uint8_t>& coded, int width, int height,
                                   const CcittOptions& options);

/// The image's rows packed as libtiffDecode returns them.
std::vector<uint8_t> packedRows(const CcittImage& image);

}  // namespace pw::testing
