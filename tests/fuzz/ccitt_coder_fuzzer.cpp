// The CCITT coder on arbitrary images, in all three codings: libtiff must decode exactly the
// image from our bytes, and its own coder must write the same bytes.
//
// Input: width - 1 (two bytes, little-endian, modulo 3000), height - 1 (one byte, modulo 48),
// flags (one byte: 1 pixels as runs, 2 a record of white rows, 4 byte-aligned EOLs, 8 K = 2),
// then the pixels: either row bytes, repeated as needed, or run lengths of alternating colour
// (below 200 as they are, else (value - 199) * 64), continuing from row to row.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "common/libtiff_fax.h"
#include "raster/output/ccitt_coder.h"

namespace {

using pw::CcittCoding;

constexpr uint8_t kRuns = 1, kRecord = 2, kAlignEol = 4, kKTwo = 8;

struct Raster {
  int width = 0;
  int height = 0;
  size_t stride = 0;
  std::vector<uint8_t> bits;
  std::vector<uint8_t> inked;

  uint8_t& byte(int x, int y) { return bits[static_cast<size_t>(y) * stride + x / 8]; }
  bool pixel(int x, int y) { return (byte(x, y) >> (7 - x % 8)) & 1; }
};

Raster makeRaster(const uint8_t* data, size_t size) {
  Raster raster;
  raster.width = 1 + (data[0] | data[1] << 8) % 3000;
  raster.height = 1 + data[2] % 48;
  const uint8_t flags = data[3];
  data += 4;
  size -= 4;
  const size_t rowBytes = static_cast<size_t>(raster.width + 7) / 8;
  raster.stride = rowBytes + 1;  // the byte past each row is junk that must not count
  raster.bits.assign(raster.stride * static_cast<size_t>(raster.height), 0xA5);
  bool black = false;
  size_t next = 0;
  int left = 0;
  for (int y = 0; y < raster.height; ++y) {
    for (int x = 0; x < raster.width; ++x) {
      if (!(flags & kRuns)) {
        if (x % 8 == 0) raster.byte(x, y) = size > 0 ? data[(y * rowBytes + x / 8) % size] : 0;
        continue;
      }
      // Empty runs only change the colour; a cycle of them all leaves it.
      for (size_t tries = 0; left == 0 && tries < size; ++tries) {
        const uint8_t value = data[next++ % size];
        left = value < 200 ? value : (value - 199) * 64;
        black = !black;
      }
      const auto bit = static_cast<uint8_t>(0x80 >> (x % 8));
      raster.byte(x, y) =
          static_cast<uint8_t>(black ? raster.byte(x, y) | bit : raster.byte(x, y) & ~bit);
      if (left > 0) --left;
    }
  }
  if (flags & kRecord) {
    raster.inked.assign(static_cast<size_t>(raster.height), 0);
    for (int y = 0; y < raster.height; ++y) {
      for (int x = 0; x < raster.width; ++x)
        raster.inked[static_cast<size_t>(y)] |= raster.pixel(x, y);
    }
  }
  return raster;
}

// libtiff's 1-D decoder keeps at most the width rounded up to 32 runs a row; a row that starts
// black and changes at every pixel needs one more when the width is a multiple of 32.
bool libtiffDecodesOneD(Raster& raster) {
  for (int y = 0; raster.width % 32 == 0 && y < raster.height; ++y) {
    int changes = 0;
    for (int x = 0; x < raster.width; ++x)
      changes += raster.pixel(x, y) != (x > 0 && raster.pixel(x - 1, y));
    if (changes == raster.width) return false;
  }
  return true;
}

void fail(const char* what, const Raster& raster, CcittCoding coding) {
  std::fprintf(stderr, "%s: %d x %d, coding %d\n", what, raster.width, raster.height,
               static_cast<int>(coding));
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  Raster raster = makeRaster(data, size);
  const pw::CcittImage image{raster.bits.data(), raster.stride, raster.width, raster.height,
                             raster.inked.empty() ? nullptr : raster.inked.data()};
  const std::vector<uint8_t> pixels = pw::testing::packedRows(image);
  for (CcittCoding coding : {CcittCoding::kT6, CcittCoding::kT4OneD, CcittCoding::kT4TwoD}) {
    const pw::CcittOptions options{coding, (data[3] & kKTwo) ? 2 : 4, (data[3] & kAlignEol) != 0};
    std::vector<uint8_t> coded;
    if (!pw::codeCcitt(image, options, &coded)) fail("coding failed", raster, coding);
    if ((coding != CcittCoding::kT4OneD || libtiffDecodesOneD(raster)) &&
        pw::testing::libtiffDecode(coded, raster.width, raster.height, options) != pixels) {
      fail("decoded pixels differ", raster, coding);
    }
    if (pw::testing::libtiffCode(image, options) != coded) fail("bytes differ", raster, coding);
  }
  return 0;
}
