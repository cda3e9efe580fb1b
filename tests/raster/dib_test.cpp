// Bitmaps copied onto the fax raster: placement, orientation, depths, clipping, header checks.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/temp_dir.h"
#include "device_test_util.h"
#include "platform/last_error.h"

namespace pw {
namespace {

// A BITMAPINFO with room for a 256-entry colour table, and its pixel rows.
struct Dib {
  std::vector<uint8_t> info = std::vector<uint8_t>(sizeof(BitmapInfoHeader) + 256 * 4);
  std::vector<uint8_t> bits;
  size_t stride = 0;

  BitmapInfoHeader* header() { return reinterpret_cast<BitmapInfoHeader*>(info.data()); }
  uint8_t* palette() { return info.data() + sizeof(BitmapInfoHeader); }
  uint8_t* row(int memoryRow) { return bits.data() + memoryRow * stride; }
};

// A white bitmap of width x height (negative: top-down) whose palette, for indexed depths, is
// entry 0 white and entry 1 black.
Dib makeDib(int width, int height, int bitCount) {
  Dib dib;
  BitmapInfoHeader* header = dib.header();
  header->biSize = 40;
  header->biWidth = width;
  header->biHeight = height;
  header->biPlanes = 1;
  header->biBitCount = static_cast<uint16_t>(bitCount);
  dib.stride = (static_cast<size_t>(width) * bitCount + 31) / 32 * 4;
  dib.bits.assign(dib.stride * std::abs(height), 0);
  if (bitCount <= 8) {
    std::memset(dib.palette(), 0xFF, 4);   // index 0 white
    std::memset(dib.palette() + 4, 0, 4);  // index 1 black
    header->biClrUsed = 2;
  } else {
    std::memset(dib.bits.data(), 0xFF, dib.bits.size());
  }
  return dib;
}

// Makes pixel (x, memoryRow) black in any depth.
void setBlack(Dib& dib, int x, int memoryRow) {
  uint8_t* row = dib.row(memoryRow);
  switch (dib.header()->biBitCount) {
    case 1:
      row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      break;
    case 4:
      row[x / 2] |= x % 2 ? 0x01 : 0x10;
      break;
    case 8:
      row[x] = 1;
      break;
    case 24:
      std::memset(row + 3 * x, 0, 3);
      break;
    default:
      std::memset(row + 4 * x, 0, 4);
  }
}

class DibDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = testing::makeDevice(dir_.file("out.tif"));
    ASSERT_TRUE(device_);
  }

  int draw(int x, int y, Dib& dib, uint32_t colorUse = 0) {
    const auto height = static_cast<uint32_t>(dib.header()->biHeight);  // as the converter does
    return device_->setDIBitsToDevice(x, y, static_cast<uint32_t>(dib.header()->biWidth), height, 0,
                                      0, 0, height, dib.bits.data(), dib.header(), colorUse);
  }

  bool at(int x, int y) const { return device_->raster().pixel(x, y); }

  pw::testing::TempDir dir_;
  std::unique_ptr<FaxDevice> device_;
};

TEST_F(DibDrawing, BottomUpBitmapLandsWithItsTopRowAtTheDestination) {
  Dib dib = makeDib(16, 8, 1);
  setBlack(dib, 0, 7);  // last row in memory is the top of a bottom-up bitmap
  setBlack(dib, 15, 0);
  EXPECT_EQ(draw(10, 20, dib), 8);
  EXPECT_TRUE(at(10, 20));
  EXPECT_TRUE(at(25, 27));
  EXPECT_EQ(testing::inkBounds(device_->raster()).pixels, 2);
}

TEST_F(DibDrawing, TopDownBitmapKeepsItsRowOrder) {
  Dib dib = makeDib(5, -4, 1);
  setBlack(dib, 0, 0);
  setBlack(dib, 4, 3);
  EXPECT_EQ(draw(3, 7, dib), 4);
  EXPECT_TRUE(at(3, 7));
  EXPECT_TRUE(at(7, 10));
  EXPECT_EQ(testing::inkBounds(device_->raster()).pixels, 2);
}

TEST_F(DibDrawing, EveryDepthReducesToBlackAndWhite) {
  for (int bitCount : {1, 4, 8, 24, 32}) {
    SCOPED_TRACE(bitCount);
    const_cast<PageRaster&>(device_->raster()).clear();
    Dib dib = makeDib(3, -2, bitCount);
    setBlack(dib, 1, 0);
    setBlack(dib, 2, 1);
    EXPECT_EQ(draw(101, 5, dib), 2);
    EXPECT_FALSE(at(101, 5));
    EXPECT_TRUE(at(102, 5));
    EXPECT_TRUE(at(103, 6));
    EXPECT_EQ(testing::inkBounds(device_->raster()).pixels, 2);
  }
}

TEST_F(DibDrawing, PaletteDecidesWhichIndexIsBlack) {
  Dib dib = makeDib(8, 1, 1);
  std::memset(dib.palette(), 0x00, 4);      // index 0 black
  std::memset(dib.palette() + 4, 0xC0, 4);  // index 1 light grey: white
  dib.row(0)[0] = 0x0F;
  draw(0, 0, dib);
  for (int x = 0; x < 8; ++x) EXPECT_EQ(at(x, 0), x < 4) << x;
}

TEST_F(DibDrawing, DrawingReplacesWhatWasBelow) {
  const_cast<PageRaster&>(device_->raster()).fillRect(0, 0, 64, 4, true);
  Dib dib = makeDib(9, 1, 24);  // white
  draw(3, 1, dib);
  EXPECT_TRUE(at(2, 1));
  for (int x = 3; x < 12; ++x) EXPECT_FALSE(at(x, 1)) << x;
  EXPECT_TRUE(at(12, 1));
  EXPECT_TRUE(at(5, 0));
}

TEST_F(DibDrawing, BitmapIsClippedAtEveryPageEdge) {
  Dib dib = makeDib(40, 40, 8);
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) setBlack(dib, x, y);
  }
  const int height = device_->raster().height();
  EXPECT_EQ(draw(kFaxLineDots - 8, 10, dib), 40);
  EXPECT_EQ(draw(-30, -25, dib), 40);
  EXPECT_EQ(draw(500, height - 3, dib), 40);
  EXPECT_EQ(draw(5000, 5000, dib), 40);  // entirely off the page: nothing drawn, no fault
  const auto ink = testing::inkBounds(device_->raster());
  EXPECT_EQ(ink.pixels, 8 * 40 + 10 * 15 + 40 * 3);
  EXPECT_TRUE(at(kFaxLineDots - 1, 10));
  EXPECT_TRUE(at(0, 0));
  EXPECT_TRUE(at(539, height - 1));
}

TEST_F(DibDrawing, SourceRectangleAndBandSelectRows) {
  Dib dib = makeDib(4, 4, 1);  // bottom-up: memory row 0 is the bottom
  for (int row = 0; row < 4; ++row) setBlack(dib, row, row);
  // Source rows 1..2 counted from the bottom, columns 1..3.
  EXPECT_EQ(device_->setDIBitsToDevice(0, 0, 3, 2, 1, 1, 0, 4, dib.bits.data(), dib.header(), 0),
            2);
  EXPECT_TRUE(at(1, 0));  // DIB row 2 (pixel x 2) at the top
  EXPECT_TRUE(at(0, 1));  // DIB row 1 (pixel x 1) below it
  EXPECT_EQ(testing::inkBounds(device_->raster()).pixels, 2);
}

TEST_F(DibDrawing, BadHeadersAreRejectedBeforeUse) {
  struct Case {
    const char* name;
    void (*spoil)(Dib&);
  };
  const Case cases[] = {
      {"core header size", [](Dib& d) { d.header()->biSize = 12; }},
      {"two planes", [](Dib& d) { d.header()->biPlanes = 2; }},
      {"RLE compression", [](Dib& d) { d.header()->biCompression = 1; }},
      {"16 bits", [](Dib& d) { d.header()->biBitCount = 16; }},
      {"zero width", [](Dib& d) { d.header()->biWidth = 0; }},
      {"negative width", [](Dib& d) { d.header()->biWidth = -4; }},
      {"zero height", [](Dib& d) { d.header()->biHeight = 0; }},
      {"huge width", [](Dib& d) { d.header()->biWidth = 0x7FFFFFFF; }},
      {"huge top-down height", [](Dib& d) { d.header()->biHeight = INT32_MIN; }},
      {"oversized colour table", [](Dib& d) { d.header()->biClrUsed = 3; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Dib dib = makeDib(8, 8, 1);
    c.spoil(dib);
    setLastError(0);
    EXPECT_EQ(device_->setDIBitsToDevice(0, 0, 8, 8, 0, 0, 0, 8, dib.bits.data(), dib.header(), 0),
              0);
    EXPECT_EQ(lastError(), kErrorInvalidParameter);
  }
  Dib dib = makeDib(8, 8, 1);
  EXPECT_EQ(draw(0, 0, dib, /*colorUse=DIB_PAL_COLORS*/ 1), 0);
  EXPECT_EQ(device_->setDIBitsToDevice(0, 0, 8, 8, 0, 0, 0, 8, nullptr, dib.header(), 0), 0);
  EXPECT_EQ(device_->setDIBitsToDevice(0, 0, 8, 8, 0, 0, 0, 8, dib.bits.data(), nullptr, 0), 0);
  EXPECT_EQ(device_->setDIBitsToDevice(0, 0, 8, 8, 0, 0, 9, 8, dib.bits.data(), dib.header(), 0),
            0);  // band beyond the bitmap
  EXPECT_EQ(testing::inkBounds(device_->raster()).pixels, 0);
}

}  // namespace
}  // namespace pw
