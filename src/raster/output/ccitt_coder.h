// CCITT fax coding (ITU-T T.4 one- and two-dimensional, T.6) of a bilevel image in memory,
// bit for bit as libtiff codes a TIFF strip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pw {

enum class CcittCoding {
  kT4OneD,  ///< Modified Huffman: each row an EOL and its runs
  kT4TwoD,  ///< Modified READ: each row an EOL and a tag bit; every k-th row one-dimensional
  kT6,      ///< Modified Modified READ: rows coded against the one above, then EOFB
};

/// The stream's framing, as a TIFF file's compression tags describe it.
struct CcittOptions {
  CcittCoding coding = CcittCoding::kT6;
  /// kT4TwoD: one row in k is coded alone (2 at 98 lines per inch, 4 at 196).
  int k = 4;
  /// T.4: zero bits before each EOL so that it ends on a byte boundary (T4Options bit 2).
  bool alignEol = false;
};

/// A bilevel image: rows of stride bytes, most significant bit first, 1 = black.
struct CcittImage {
  const uint8_t* bits = nullptr;
  size_t stride = 0;
  int width = 0;
  int height = 0;
  /// Per row, 0 when the row is white throughout, which spares reading it; null when any row
  /// may hold black.
  const uint8_t* inkedRows = nullptr;
};

/// Appends the image's coding to out, the last byte padded with zero bits; T.4 ends without
/// RTC. False with last error 87 when the width is below 1 or above 65535, the height below 1,
/// the stride shorter than a row or k below 1; 8 when memory runs out.
[[nodiscard]] bool codeCcitt(const CcittImage& image, const CcittOptions& options,
                             std::vector<uint8_t>* out);

}  // namespace pw
