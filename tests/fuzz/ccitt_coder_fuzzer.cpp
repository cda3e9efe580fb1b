// The CCITT coder on arbitrary images, in all three codings: libtiff must decode exactly the
// image from our bytes, and its own coder must write the same bytes.
//
// Input: width - 1 (two bytes, little-endian, modulo 3000), height - 1 (one byte, modulo 48),
// flags (one byte: 1 pixels as runs, 2 a record of white rows, 4 byte-aligned EOLs, 8 K = 2),
// then the pixels: either row bytes, repeated as needed, or run lengths of alternating colour
// (below 200 as they are, else (value - 199) * 64), continuing from row to row.
#include <cstdlib>
#include <vector>

#include "common/libtiff_fax.h"
#include "raster/output/ccitt_coder.h"

using pw::CcittCoding;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int width = 1 + (data[0] | data[1] << 8) % 3000, height = 1 + data[2] % 48;
  const uint8_t flags = data[3];
  data += 4;
  size -= 4;
  const size_t rowBytes = static_cast<size_t>(width + 7) / 8, stride = rowBytes + 1;
  // The byte past each row is junk that must not count.
  std::vector<uint8_t> bits(stride * static_cast<size_t>(height), 0xA5);
  std::vector<uint8_t> inked(static_cast<size_t>(height), 0);
  bool black = false, oneDFails = false;
  size_t next = 0;
  int left = 0;
  for (int y = 0; y < height; ++y) {
    bool alternating = true;  // black at even pixels, white at odd ones
    for (int x = 0; x < width; ++x) {
      uint8_t& byte = bits[static_cast<size_t>(y) * stride + x / 8];
      if (!(flags & 1)) {
        if (x % 8 == 0) byte = size > 0 ? data[(y * rowBytes + x / 8) % size] : 0;
        black = (byte >> (7 - x % 8)) & 1;
      } else {
        // Empty runs only change the colour; a cycle of them all leaves it.
        for (size_t tries = 0; left == 0 && tries < size; ++tries) {
          const uint8_t value = data[next++ % size];
          left = value < 200 ? value : (value - 199) * 64;
          black = !black;
        }
        const auto bit = static_cast<uint8_t>(0x80 >> (x % 8));
        byte = static_cast<uint8_t>(black ? byte | bit : byte & ~bit);
        if (left > 0) --left;
      }
      inked[static_cast<size_t>(y)] |= black;
      alternating &= black == (x % 2 == 0);
    }
    // libtiff's 1-D decoder keeps at most the width rounded up to 32 runs a row; a row that
    // starts black and changes at every pixel needs one more when the width is a multiple of 32.
    oneDFails |= width % 32 == 0 && alternating;
  }
  const pw::CcittImage image{bits.data(), stride, width, height,
                             (flags & 2) ? inked.data() : nullptr};
  const std::vector<uint8_t> pixels = pw::testing::packedRows(image);
  for (CcittCoding coding : {CcittCoding::kT6, CcittCoding::kT4OneD, CcittCoding::kT4TwoD}) {
    const pw::CcittOptions options{coding, (flags & 8) ? 2 : 4, (flags & 4) != 0};
    std::vector<uint8_t> coded;
    if (!pw::codeCcitt(image, options, &coded) ||
        ((coding != CcittCoding::kT4OneD || !oneDFails) &&
         pw::testing::libtiffDecode(coded, width, height, options) != pixels) ||
        pw::testing::libtiffCode(image, options) != coded) {
      std::abort();  // the input reproduces it
    }
  }
  return 0;
}
