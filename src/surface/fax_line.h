// The fax line that the layout and the raster device agree on, whatever a device reports: 1728
// dots of 8.031 per millimetre (215 mm at 204 dots per inch).
#pragma once

#include <cstdint>

namespace pw {

inline constexpr int kFaxLineDots = 1728;
inline constexpr uint32_t kFaxDotsPerMetre = 8031;

}  // namespace pw
