// Bitmaps copied onto the fax raster: placement, orientation, depths, clipping, header checks.
#include <gtest/gtest.h>

#include "device_test_util.h"
#include "platform/last_error.h"

namespace pw {
namespace {

// A white bitmap of width x height (negative: top-down), with room for a 256-entry colour
// table whose entry 0 is white and 1 black.
struct Dib {
  std::vector<uint8_t> info = std::vector<uint8_t>(sizeof(BitmapInfoHeader) + 256 * 4);
  std::vector<uint8_t> bits;
  size_t stride;

  Dib(int width, int height, int bitCount)
      : stride((static_cast<size_t>(width) * bitCount + 31) / 32 * 4) {
    const auto depth = static_cast<uint16_t>(bitCount);
    *header() = {40, width, height, 1, depth, 0, 0, 0, 0, bitCount <= 8 ? 2u : 0u, 0};
    bits.assign(stride * std::abs(height), bitCount <= 8 ? 0 : 0xFF);
    std::memset(palette(), 0xFF, 4);  // entry 0 white
  }
  BitmapInfoHeader* header() { return reinterpret_cast<BitmapInfoHeader*>(info.data()); }
  uint8_t* palette() { return info.data() + sizeof(BitmapInfoHeader); }

  // Makes pixel (x, memoryRow) black in any depth: index 1, or RGB 0.
  void setBlack(int x, int memoryRow) {
    uint8_t* row = bits.data() + memoryRow * stride;
    const int depth = header()->biBitCount;
    if (depth >= 24)
      std::memset(row + depth / 8 * x, 0, depth / 8);
    else
      row[x * depth / 8] |= static_cast<uint8_t>(1 << (8 - depth - x * depth % 8));
  }
};

class DibDrawing : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(device_); }

  int draw(int x, int y, Dib& dib) {
    const auto height = static_cast<uint32_t>(dib.header()->biHeight);  // as the converter does
    return device_->setDIBitsToDevice(x, y, static_cast<uint32_t>(dib.header()->biWidth), height, 0,
                                      0, 0, height, dib.bits.data(), dib.header(), 0);
  }
  bool at(int x, int y) const { return device_->raster().pixel(x, y); }
  int ink() const { return testing::inkBounds(device_->raster()).pixels; }

  pw::testing::TempDir dir_;
  std::unique_ptr<FaxDevice> device_ = testing::makeDevice(dir_.file("out.tif"));
};

// The last row in memory is the top of a bottom-up bitmap, the first that of a top-down one; a
// source rectangle counts rows from the bottom of a bottom-up one.
TEST_F(DibDrawing, BitmapsLandTopRowFirstInBothOrders) {
  Dib bottomUp(16, 8, 1);
  bottomUp.setBlack(0, 7);
  bottomUp.setBlack(15, 0);
  EXPECT_EQ(draw(10, 20, bottomUp), 8);
  Dib topDown(5, -4, 1);
  topDown.setBlack(0, 0);
  topDown.setBlack(4, 3);
  EXPECT_EQ(draw(3, 7, topDown), 4);
  Dib diagonal(4, 4, 1);
  for (int row = 0; row < 4; ++row) diagonal.setBlack(row, row);
  // Source rows 1..2 from the bottom, columns 1..3: row 2 (pixel x 2) at the top, row 1 below.
  EXPECT_EQ(device_->setDIBitsToDevice(100, 0, 3, 2, 1, 1, 0, 4, diagonal.bits.data(),
                                       diagonal.header(), 0),
            2);
  EXPECT_TRUE(at(10, 20) && at(25, 27) && at(3, 7) && at(7, 10) && at(101, 0) && at(100, 1));
  EXPECT_EQ(ink(), 6);
}

TEST_F(DibDrawing, EveryDepthReducesToBlackAndWhite) {
  const int depths[] = {1, 4, 8, 24, 32};
  for (int i = 0; i < 5; ++i) {
    Dib dib(9, -2, depths[i]);  // wider than a byte of the page's row: the rest stays white
    dib.setBlack(1, 0);
    dib.setBlack(2, 1);
    EXPECT_EQ(draw(100 + 16 * i, 5, dib), 2);
    EXPECT_TRUE(!at(100 + 16 * i, 5) && at(101 + 16 * i, 5) && at(102 + 16 * i, 6)) << depths[i];
  }
  EXPECT_EQ(ink(), 10);
}

TEST_F(DibDrawing, PaletteDecidesWhichIndexIsBlack) {
  Dib dib(8, 1, 1);
  // Blue, green, red, unused: index 0 just darker than half of full scale, so black; index 1
  // exactly half, so white.
  const uint8_t palette[8] = {252, 168, 0, 0, 68, 204, 0, 0};
  std::memcpy(dib.palette(), palette, sizeof palette);
  dib.bits[0] = 0x0F;
  draw(0, 0, dib);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(at(x, 0), x < 4) << x;
}

TEST_F(DibDrawing, BitmapIsClippedAtEveryPageEdge) {
  Dib dib(40, 40, 8);
  std::memset(dib.bits.data(), 1, dib.bits.size());
  const int height = device_->raster().height();
  EXPECT_EQ(draw(kFaxLineDots - 8, 10, dib), 40);
  EXPECT_EQ(draw(-30, -25, dib), 40);
  EXPECT_EQ(draw(500, height - 3, dib), 40);
  EXPECT_EQ(draw(5000, 5000, dib), 40);  // entirely off the page: nothing drawn, no fault
  EXPECT_EQ(ink(), 8 * 40 + 10 * 15 + 40 * 3);
  EXPECT_TRUE(at(kFaxLineDots - 1, 10) && at(0, 0) && at(539, height - 1));
}

TEST_F(DibDrawing, BadHeadersAndArgumentsAreRejectedBeforeUse) {
  const auto rejected = [&](Dib& dib, uint32_t startScan = 0, uint32_t colorUse = 0,
                            bool withBits = true) {
    setLastError(0);
    return device_->setDIBitsToDevice(0, 0, 8, 8, 0, 0, startScan, 8,
                                      withBits ? dib.bits.data() : nullptr, dib.header(),
                                      colorUse) == 0 &&
           lastError() == kErrorInvalidParameter;
  };
  Dib dib(8, 8, 1);
  std::memset(dib.bits.data(), 0xFF, dib.bits.size());  // black, if it were drawn
  EXPECT_TRUE(rejected(dib, 0, 1));                     // DIB_PAL_COLORS
  EXPECT_TRUE(rejected(dib, 9));                        // a band beyond the bitmap
  EXPECT_TRUE(rejected(dib, 0, 0, false));
  void (*const spoils[])(BitmapInfoHeader&) = {
      [](BitmapInfoHeader& h) { h.biSize = 12; },
      [](BitmapInfoHeader& h) { h.biPlanes = 2; },
      [](BitmapInfoHeader& h) { h.biCompression = 1; },
      [](BitmapInfoHeader& h) { h.biBitCount = 16; },
      [](BitmapInfoHeader& h) { h.biWidth = 0; },
      [](BitmapInfoHeader& h) { h.biWidth = -4; },
      [](BitmapInfoHeader& h) { h.biHeight = 0; },
      [](BitmapInfoHeader& h) { h.biWidth = 0x7FFFFFFF; },
      [](BitmapInfoHeader& h) { h.biHeight = INT32_MIN; },
      [](BitmapInfoHeader& h) { h.biClrUsed = 3; },  // more colours than one bit holds
  };
  for (size_t i = 0; i < std::size(spoils); ++i) {
    Dib bad = dib;
    spoils[i](*bad.header());
    EXPECT_TRUE(rejected(bad)) << i;
  }
  EXPECT_EQ(device_->setDIBitsToDevice(0, 0, 8, 8, 0, 0, 0, 8, "", nullptr, 0), 0);
  EXPECT_EQ(ink(), 0);
}

}  // namespace
}  // namespace pw
