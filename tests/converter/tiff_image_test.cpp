// The libtiff image library: TIFF files written by the tests, rendered into BMP blocks whose
// headers and pixels are compared with what was written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/conversion_fixture.h"
#include "eventlog/message_table.h"
#include "images/image_library.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"
#include "tiff_test_files.h"

namespace pw::testing {
namespace {

using Block = HeapBlock;

// A frame, a diagonal and stripes: catches flipped, mirrored, shifted and bit-reversed rows.
bool ink(uint32_t x, uint32_t y) {
  return x == y || y == 0 || x == 0 || (x + y) % 7 == 0;
}

struct Kind {
  const char* name;
  uint16_t compression, photometric, bits, samples, fillOrder, orientation;
  uint32_t inkValue, paperValue;  // samples packed high byte first
  uint32_t inkColour, paperColour;
  uint16_t bitCount;
};

constexpr uint16_t kMsb = FILLORDER_MSB2LSB;
constexpr uint16_t kTop = ORIENTATION_TOPLEFT;
constexpr uint16_t kBottom = ORIENTATION_BOTLEFT;
const Kind kKinds[] = {
    {"G4", COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 1, 1, kMsb, kTop, 1, 0, 0, 0xFFFFFF, 1},
    {"G3 lsb first", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, 1, 1, FILLORDER_LSB2MSB, kTop,
     1, 0, 0, 0xFFFFFF, 1},
    {"min-is-black", COMPRESSION_NONE, PHOTOMETRIC_MINISBLACK, 1, 1, kMsb, kTop, 0, 1, 0, 0xFFFFFF,
     1},
    {"packbits bottom-up", COMPRESSION_PACKBITS, PHOTOMETRIC_MINISWHITE, 1, 1, kMsb, kBottom, 1, 0,
     0, 0xFFFFFF, 1},
    {"lzw", COMPRESSION_LZW, PHOTOMETRIC_MINISWHITE, 1, 1, kMsb, kTop, 1, 0, 0, 0xFFFFFF, 1},
    {"deflate", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_MINISWHITE, 1, 1, kMsb, kTop, 1, 0, 0,
     0xFFFFFF, 1},
    {"grey", COMPRESSION_LZW, PHOTOMETRIC_MINISBLACK, 8, 1, kMsb, kTop, 0x30, 0xE0, 0x303030,
     0xE0E0E0, 24},
    {"rgb bottom-up", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_RGB, 8, 3, kMsb, kBottom, 0x102030,
     0xFFEEDD, 0x102030, 0xFFEEDD, 24},
    {"palette", COMPRESSION_PACKBITS, PHOTOMETRIC_PALETTE, 2, 1, kMsb, kTop, 1, 2, 0xFF0000,
     0x0000FF, 24},
};

class TiffImageTest : public ::testing::Test {
 protected:
  ImageLibrary& images = platformImages();
  TempDir dir;

  // Opens, renders and closes as the converter does: the block must outlive the handle.
  Block render(const std::string& path) {
    ImageHandle handle = images.open(path.c_str());
    EXPECT_NE(handle, nullptr) << lastError();
    Block block = images.render(handle);
    const uint32_t code = lastError();
    images.close(handle);
    EXPECT_EQ(lastError(), code) << "close keeps the last-error value";
    return block;
  }

  std::string write(const Kind& kind, uint32_t width, uint32_t height) {
    TiffFile file;
    file.width = width;
    file.height = height;
    file.bits = kind.bits;
    file.samples = kind.samples;
    file.photometric = kind.photometric;
    file.compression = kind.compression;
    file.fillOrder = kind.fillOrder;
    file.orientation = kind.orientation;
    if (kind.photometric == PHOTOMETRIC_PALETTE) {
      file.colourMap = {0, 0xFFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0xFFFF, 0};  // 1 red, 2 blue
    }
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
    if (!TIFFIsCODECConfigured(kind.compression)) continue;
    SCOPED_TRACE(kind.name);
    const Block block = render(write(kind, /*width=*/45, /*height=*/17));
    ASSERT_TRUE(block);
    const BmpView bmp(block.get());
    const uint32_t pixelOffset = 14 + 40 + (kind.bitCount == 1 ? 8 : 0);
    EXPECT_EQ(bmp.u16(0), 0x4D42) << "BM";
    EXPECT_EQ(bmp.u32(14), 40u);
    EXPECT_EQ(bmp.width(), 45);
    EXPECT_EQ(bmp.height(), 17) << "positive: bottom-up";
    EXPECT_EQ(bmp.u16(26), 1) << "planes";
    EXPECT_EQ(bmp.bitCount(), kind.bitCount);
    EXPECT_EQ(bmp.u32(30), 0u) << "BI_RGB";
    EXPECT_EQ(bmp.u32(34), bmp.stride() * 17);
    EXPECT_EQ(bmp.u32(38), 8031u) << "204 dpi";
    EXPECT_EQ(bmp.u32(42), 7717u) << "196 dpi";
    EXPECT_EQ(bmp.u32(46), kind.bitCount == 1 ? 2u : 0u);
    EXPECT_EQ(bmp.u32(10), pixelOffset);
    EXPECT_EQ(bmp.u32(2), pixelOffset + bmp.u32(34));
    EXPECT_EQ(images.locatePixels(bmp.info()), bmp.row(16));
    const std::size_t used = (45 * kind.bitCount + 7) / 8;
    for (int32_t y = 0; y < 17; ++y) {
      for (int32_t x = 0; x < 45; ++x) {
        ASSERT_EQ(bmp.colour(x, y), ink(x, y) ? kind.inkColour : kind.paperColour) << x << "," << y;
      }
      for (std::size_t i = used; i < bmp.stride(); ++i) ASSERT_EQ(bmp.row(y)[i], 0) << "padding";
    }
  }
}

TEST_F(TiffImageTest, BadFilesFailWithTheirCause) {
  const std::string g4 = write(kKinds[0], 300, 40);
  const std::string cut = dir.file("cut.tif");
  std::filesystem::copy_file(g4, cut);
  std::filesystem::resize_file(cut, std::filesystem::file_size(g4) / 2);
  {
    // The strip follows the 8-byte header; zeros are no valid G4 code.
    std::fstream file(g4, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(8);
    file.write(std::string(40, '\0').data(), 40);
  }
  struct Case {
    std::string path;
    uint32_t code;
  };
  std::vector<Case> cases = {
      {dir.write("letter.tif", "Dear Sir,\n"), kErrorBadFormat},
      {dir.write("header.tif", std::string_view("II*\0", 4)), kErrorBadFormat},
      {cut, kErrorBadFormat},
      {g4, kErrorInvalidData}};
  // Headers claiming 1.25 GB at 1 bit, 1.2 GB at 24 bits, a width beyond a DIB's signed range and
  // 8 GiB of padded rows, over a few bytes of strip: rejected before anything is allocated.
  const uint32_t huge[][3] = {
      {100000, 100000, 1}, {20000, 20000, 3}, {0xFFFFFFF0u, 1, 1}, {1, 0x7FFFFFFFu, 1}};
  for (const auto& [width, height, samples] : huge) {
    const std::string path = dir.file("huge" + std::to_string(width) + ".tif");
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, samples == 3 ? 8 : 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    char strip[16] = {};
    EXPECT_EQ(TIFFWriteRawStrip(tif, 0, strip, sizeof strip), 16);
    TIFFClose(tif);
    cases.push_back({path, kErrorImageTooLarge});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    ImageHandle handle = images.open(c.path.c_str());
    ASSERT_NE(handle, nullptr) << "an existing file opens; only rendering looks inside";
    EXPECT_EQ(images.render(handle), nullptr);
    EXPECT_EQ(lastError(), c.code);
    images.close(handle);
  }
}

TEST_F(TiffImageTest, OpenTellsAMissingFileFromAMissingDirectory) {
  EXPECT_EQ(images.open(dir.file("absent.tif").c_str()), nullptr);
  EXPECT_EQ(lastError(), kErrorFileNotFound);
  EXPECT_EQ(images.open(dir.file("nodir/absent.tif").c_str()), nullptr);
  EXPECT_EQ(lastError(), kErrorPathNotFound);
  EXPECT_EQ(images.open(dir.path().string().c_str()), nullptr);
  EXPECT_EQ(lastError(), kErrorDirectoryNotSupported);
}

TEST_F(TiffImageTest, LibtiffMessagesNeverReachTheLogNorStderrWhateverTheMask) {
  const std::string notTiff = dir.write("note.tif", "plain text");
  CaptureSink sink;
  EventReporter& reporter = moduleReporter();
  const uint32_t savedMask = reporter.levelMask();
  reporter.setHostSink(&sink);
  reporter.setLevelMask(0xFFFFFFFF);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(render(notTiff));
  const std::string printed = ::testing::internal::GetCapturedStderr();
  reporter.setLevelMask(savedMask);
  reporter.setHostSink(nullptr);

  EXPECT_EQ(printed, "");
  EXPECT_TRUE(sink.events.empty());
}

}  // namespace
}  // namespace pw::testing
