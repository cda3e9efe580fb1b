#include "raster/fax_geometry.h"

#include <algorithm>

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
  // Fax servers hold a page against its paper's length in whole millimetres and re-image one
  // that is a fraction longer (2292 lines at 196 lpi are 297.02 mm, too long for A4's 297). So
  // a page ends within both the paper and its length rounded to whole millimetres (letter's
  // 279.4 to 279), and a line that would only partly fit is left off.
  const uint32_t wholeMillimetres = (tenths + 5) / 10 * 10;
  const uint64_t length = std::min(tenths, wholeMillimetres);
  return static_cast<int>(length * static_cast<uint64_t>(dpiY) / 254);
}

}  // namespace pw
