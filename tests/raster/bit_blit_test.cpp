// Bit-row copying and filling at every alignment, against a pixel-at-a-time reference; page
// lengths.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "raster/bit_blit.h"
#include "raster/fax_geometry.h"

namespace pw {
namespace {

bool bitAt(const std::vector<uint8_t>& row, int x) {
  return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

TEST(BitBlit, MatchesPixelReferenceAtEveryOffset) {
  std::mt19937 random(7);
  std::vector<uint8_t> source(9);
  for (uint8_t& byte : source) byte = static_cast<uint8_t>(random());
  for (auto op : {detail::BlitOp::kOr, detail::BlitOp::kCopy}) {
    for (int srcX = 0; srcX < 8; ++srcX) {
      for (int dstX = 0; dstX < 16; ++dstX) {
        for (int count = 1; count <= 40; ++count) {
          const std::vector<uint8_t> before(8, 0x5A);
          std::vector<uint8_t> dst = before;
          detail::blitBits(dst.data(), dstX, source.data(), static_cast<size_t>(srcX), count, op);
          for (int x = 0; x < 64; ++x) {
            const bool in = x >= dstX && x < dstX + count,
                       src = in && bitAt(source, srcX + x - dstX);
            const bool kept = bitAt(before, x) && (!in || op == detail::BlitOp::kOr);
            ASSERT_EQ(bitAt(dst, x), kept || src)
                << srcX << " " << dstX << " " << count << " " << x;
          }
        }
      }
    }
  }
}

TEST(BitBlit, FillTouchesOnlyItsSpan) {
  for (int start = 0; start < 16; ++start) {
    for (int count = 0; count < 30; ++count) {
      std::vector<uint8_t> row(6, 0);
      detail::fillBits(row.data(), start, count, true);
      for (int x = 0; x < 48; ++x) ASSERT_EQ(bitAt(row, x), x >= start && x < start + count);
      detail::fillBits(row.data(), start, count, false);
      for (uint8_t byte : row) ASSERT_EQ(byte, 0);
    }
  }
}

// No page reaches past its length in whole millimetres (A4: 2292 lines would be 297.02 mm).
TEST(FaxGeometry, PaperLengthsFollowTheResolution) {
  EXPECT_EQ(pageLines(Paper::kA4, 0, kFaxDpiYFine), 2291);
  EXPECT_EQ(pageLines(Paper::kA4, 0, kFaxDpiYNormal), 1145);
  EXPECT_EQ(pageLines(Paper::kLetter, 0, kFaxDpiYFine), 2152);  // 279 mm, not 11 in
  EXPECT_EQ(pageLines(Paper::kLegal, 0, kFaxDpiYFine), 2744);   // 14 in, within 356 mm
  EXPECT_EQ(pageLines(Paper::kB4, 0, kFaxDpiYFine), 2723);
  EXPECT_EQ(pageLines(Paper::kCustom, 100, kFaxDpiYFine), 771);
  EXPECT_EQ(pageLines(Paper::kA4, 0, 1), 11);
  EXPECT_EQ(pageLines(Paper::kCustom, 0, kFaxDpiYFine), 0);
  EXPECT_EQ(pageLines(Paper::kCustom, kMaxPaperHeightMm + 1, kFaxDpiYFine), 0);
}

}  // namespace
}  // namespace pw
