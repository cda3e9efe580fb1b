// The libtiff image library: TIFF files written by the tests, rendered into BMP blocks whose
// headers and pixels are compared with what was written.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "common/conversion_fixture.h"
#include "images/image_library.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"
#include "tiff_test_files.h"

namespace pw::testing {
namespace {

// Reads an image block: BITMAPFILEHEADER, BITMAPINFOHEADER, colour table, pixels.
struct BmpView {
  const uint8_t* bytes;
  uint32_t u32(std::size_t offset) const {
    uint32_t value;
    std::memcpy(&value, bytes + offset, 4);
    return value;
  }
  uint16_t bitCount() const { return static_cast<uint16_t>(u32(28)); }
  std::size_t stride() const { return (u32(18) * bitCount() + 31) / 32 * 4; }
  // The stored scan line of image row y (0 at the top) of this bottom-up bitmap.
  const uint8_t* row(uint32_t y) const { return bytes + u32(10) + (u32(22) - 1 - y) * stride(); }
  uint32_t colour(uint32_t x, uint32_t y) const {  // 0xRRGGBB
    const uint8_t* bgr =
        bitCount() == 1 ? bytes + 54 + 4 * ((row(y)[x / 8] >> (7 - x % 8)) & 1) : row(y) + 3 * x;
    return static_cast<uint32_t>(bgr[2]) << 16 | bgr[1] << 8 | bgr[0];
  }
};

// A frame, a diagonal and stripes: catches flipped, mirrored, shifted and bit-reversed rows.
bool ink(uint32_t x, uint32_t y) {
  return x == y || y == 0 || x == 0 || (x + y) % 7 == 0;
}

struct Kind {
  const char* name;
  uint16_t compression, photometric, bits, samples, fillOrder, orientation;
  uint32_t inkValue, paperValue;  // samples packed high byte first
  uint32_t inkColour = 0, paperColour = 0xFFFFFF;
};

// One of each path through the decoder: bilevel rows kept at 1 bit (either polarity, either
// orientation, any fill order) and everything else through libtiff's RGBA interface.
constexpr uint16_t kMsb = FILLORDER_MSB2LSB;
constexpr uint16_t kTop = ORIENTATION_TOPLEFT;
constexpr uint16_t kBottom = ORIENTATION_BOTLEFT;
const Kind kKinds[] = {
    {"G3 lsb first", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 1, 1, FILLORDER_LSB2MSB, kTop,
     1, 0},
    {"min-is-black bottom-up", COMPRESSION_PACKBITS, PHOTOMETRIC_MINISBLACK, 1, 1, kMsb, kBottom, 0,
     1},
    {"rgb bottom-up", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 8, 3, kMsb, kBottom, 0x102030,
     0xFFEEDD, 0x102030, 0xFFEEDD},
    {"palette", COMPRESSION_PACKBITS, PHOTOMETRIC_PALETTE, 2, 1, kMsb, kTop, 1, 2, 0xFF0000, 0xFF},
};

class TiffImageTest : public ::testing::Test {
 protected:
  ImageLibrary& images = platformImages();
  TempDir dir;

  std::string write(const Kind& kind, uint32_t width, uint32_t height) {
    TiffFile file{width,          height,           kind.bits,
                  kind.samples,   kind.photometric, kind.compression,
                  kind.fillOrder, kind.orientation};
    if (kind.bits == 2)
      file.colourMap = {0, 0xFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFF, 0};  // 1 red, 2 blue
    const uint32_t bitsPerPixel = kind.bits * kind.samples;
    for (uint32_t fileRow = 0; fileRow < height; ++fileRow) {
      const uint32_t y = kind.orientation == kBottom ? height - 1 - fileRow : fileRow;
      std::vector<uint8_t> row((width * bitsPerPixel + 7) / 8);
      for (uint32_t x = 0; x < width; ++x) {
        const uint32_t value = ink(x, y) ? kind.inkValue : kind.paperValue;
        for (uint32_t s = 0; s < kind.samples; ++s) {
          const uint32_t sample = (value >> (8 * (kind.samples - 1 - s))) & ((1u << kind.bits) - 1);
          const uint32_t bit = x * bitsPerPixel + s * kind.bits;
          row[bit / 8] |= static_cast<uint8_t>(sample << (8 - kind.bits - bit % 8));
        }
      }
      file.rows.push_back(row);
    }
    const std::string path = dir.file(std::string(kind.name) + ".tif");
    EXPECT_TRUE(writeTiff(path, file));
    return path;
  }
};

TEST_F(TiffImageTest, EveryKindBecomesAnUprightBottomUpBitmap) {
  for (const Kind& kind : kKinds) {
    SCOPED_TRACE(kind.name);
    // Closed before the pixels are read, as the converter does: the block outlives the handle.
    ImageHandle handle = images.open(write(kind, /*width=*/45, /*height=*/17).c_str());
    const HeapBlock block = images.render(handle);
    images.close(handle);
    ASSERT_TRUE(block);
    const BmpView bmp{block.get()};
    const uint32_t bitCount = kind.bits * kind.samples == 1 ? 1 : 24;
    const uint32_t colours = bitCount == 1 ? 2 : 0, pixelOffset = 14 + 40 + 4 * colours;
    const uint32_t size = static_cast<uint32_t>(bmp.stride() * 17);
    // "BM"; the file size, 0, the pixels' offset; the info header's size, width, height (positive:
    // bottom-up), 1 plane and the bits, BI_RGB, image size, 204 x 196 dpi and colours used.
    EXPECT_EQ(bmp.u32(0) & 0xFFFF, 0x4D42u);
    std::vector<uint32_t> header;
    for (std::size_t at = 2; at <= 46; at += 4) header.push_back(bmp.u32(at));
    EXPECT_EQ(header, (std::vector<uint32_t>{pixelOffset + size, 0, pixelOffset, 40, 45, 17,
                                             1 | bitCount << 16, 0, size, 8031, 7717, colours}));
    EXPECT_EQ(images.locatePixels(block.get() + 14), bmp.row(16));
    const std::size_t used = (45 * bitCount + 7) / 8;
    for (uint32_t y = 0; y < 17; ++y) {
      for (uint32_t x = 0; x < 45; ++x) {
        ASSERT_EQ(bmp.colour(x, y), ink(x, y) ? kind.inkColour : kind.paperColour) << x << "," << y;
      }
      for (std::size_t i = used; i < bmp.stride(); ++i) ASSERT_EQ(bmp.row(y)[i], 0) << "padding";
    }
  }
}

// libtiff's own messages about them never reach the log nor stderr, whatever the level mask.
TEST_F(TiffImageTest, BadFilesFailWithTheirCauseAndLibtiffKeepsQuiet) {
  Kind g4Kind = kKinds[0];
  g4Kind.compression = COMPRESSION_CCITTFAX4;
  const std::string g4 = write(g4Kind, 300, 40);
  {
    // The strip follows the 8-byte header; zeros are no valid G4 code.
    std::fstream file(g4, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(8);
    file.write(std::string(40, '\0').data(), 40);
  }
  // A file that opens as no TIFF, one that is broken in its strip, and headers claiming 1.25 GB at
  // 1 bit, 1.2 GB at 24 bits, a width beyond a DIB's signed range and 8 GiB of padded rows over a
  // few bytes of strip: rejected before anything is allocated.
  std::vector<std::pair<std::string, uint32_t>> cases = {
      {dir.write("header.tif", std::string_view("II*\0", 4)), kErrorBadFormat},
      {g4, kErrorInvalidData}};
  const TiffFile huge[] = {
      {100000, 100000}, {20000, 20000, 8, 3, PHOTOMETRIC_RGB}, {0xFFFFFFF0u, 1}, {1, 0x7FFFFFFFu}};
  for (const TiffFile& file : huge) {
    cases.emplace_back(dir.file("huge" + std::to_string(file.width) + ".tif"), kErrorImageTooLarge);
    EXPECT_TRUE(writeTiff(cases.back().first, file));
  }
  CaptureSink sink;
  EventReporter& reporter = moduleReporter();
  const uint32_t savedMask = reporter.levelMask();
  reporter.setHostSink(&sink);
  reporter.setLevelMask(0xFFFFFFFF);
  ::testing::internal::CaptureStderr();
  for (const auto& [path, code] : cases) {
    SCOPED_TRACE(path);
    ImageHandle handle = images.open(path.c_str());
    ASSERT_NE(handle, nullptr) << "an existing file opens; only rendering looks inside";
    EXPECT_EQ(images.render(handle), nullptr);
    images.close(handle);
    EXPECT_EQ(lastError(), code) << "close keeps the last-error value";
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  reporter.setLevelMask(savedMask);
  reporter.setHostSink(nullptr);
  EXPECT_TRUE(sink.events.empty());
  EXPECT_NE(errorText(kErrorImageTooLarge).find("64 megapixels"), std::string::npos);
}

}  // namespace
}  // namespace pw::testing
