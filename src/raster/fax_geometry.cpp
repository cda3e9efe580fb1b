#include "raster/fax_geometry.h"

#include <cmath>

namespace pw {

namespace {

// Paper lengths in tenths of a millimetre, so that the inch sizes stay exact.
uint32_t paperLengthTenthsMm(Paper paper, uint32_t customHeightMm) {
  switch (paper) {
    case Paper::kA4:
      return 2970;
    case Paper::kLetter:
      return 2794;  // 11 in
    case Paper::kLegal:
      return 3556;  // 14 in
    case Paper::kB4:
      return 3530;  // ISO B4, 250 x 353 mm
    case Paper::kCustom:
      return customHeightMm > 0 && customHeightMm <= kMaxPaperHeightMm ? customHeightMm * 10 : 0;
  }
  return 0;
}

}  // namespace

int pageLines(Paper paper, uint32_t customHeightMm, int dpiY) {
  const uint32_t tenths = paperLengthTenthsMm(paper, customHeightMm);
  if (tenths == 0 || dpiY <= 0) return 0;
  return static_cast<int>(std::lround(tenths / 254.0 * dpiY));
}

}  // namespace pw
