// Fax page geometry: the resolutions of ITU T.4 and the page length for a paper size.
#pragma once

#include <cstdint>

#include "surface/fax_line.h"

namespace pw {

inline constexpr int kFaxDpiX = 204;
inline constexpr int kFaxDpiYFine = 196;
inline constexpr int kFaxDpiYNormal = 98;

enum class Paper { kA4, kLetter, kLegal, kB4, kCustom };

/// Longest custom page accepted; beyond it the raster alone would exceed any sensible fax.
inline constexpr uint32_t kMaxPaperHeightMm = 2000;

/// Scan lines of a page of the given paper at dpiY; customHeightMm is used for Paper::kCustom.
/// The lines never reach past the paper's length nor past that length rounded to whole
/// millimetres, which fax servers check pages against (A4 has 2291 lines at 196 lpi, letter
/// 2152). 0 when the paper is unknown or the custom height is 0 or above kMaxPaperHeightMm.
int pageLines(Paper paper, uint32_t customHeightMm, int dpiY);

}  // namespace pw
