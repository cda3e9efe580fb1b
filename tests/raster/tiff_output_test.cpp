// TIFF Class F files as the device writes them, judged by libtiff: tags, each strip the one its
// own coder writes and decodes to the pixels drawn, and no complaint from tiffinfo.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "common/libtiff_fax.h"
#include "common/temp_dir.h"
#include "device_test_util.h"
#include "raster/output/fax_coder.h"

namespace pw {
namespace {

using namespace pw::testing;

template <typename T>
T field(TIFF* tif, ttag_t tag) {
  T value{};
  EXPECT_TRUE(TIFFGetField(tif, tag, &value)) << tag;
  return value;
}

struct TiffCase {
  FaxCompression compression;
  bool fine;
  const char* name;
};

class TiffOutput : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffOutput, IsClassFAndEveryReaderSeesThePixelsDrawn) {
  const auto [compression, fine, name] = GetParam();
  TempDir dir;
  const std::string path = dir.file("fax.tif");
  auto device = makeDevice(path, OutputFormat::kTiff, fine, compression);
  const int rows = device->raster().height();
  const std::vector<Page> pages = drawPages(*device, 3);
  ASSERT_EQ(device->endDoc(), 1);
  EXPECT_EQ(filesIn(dir.path())[0], '.');  // a hidden temporary until kept
  ASSERT_TRUE(device->commit());
  EXPECT_EQ(device->pagesWritten(), 3);
  EXPECT_EQ(filesIn(dir.path()), "fax.tif ");  // no temporary left

  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  EXPECT_FALSE(TIFFIsBigEndian(tif));
  EXPECT_EQ(TIFFNumberOfDirectories(tif), 3);
  const bool g4 = compression == FaxCompression::kG4;
  for (uint16_t index = 0; index < 3; ++index) {
    SCOPED_TRACE(index);
    ASSERT_TRUE(TIFFSetDirectory(tif, index));
    EXPECT_EQ(field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH), 1728u);
    EXPECT_EQ(field<uint32_t>(tif, TIFFTAG_IMAGELENGTH), static_cast<uint32_t>(rows));
    EXPECT_EQ(field<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP), static_cast<uint32_t>(rows));
    EXPECT_EQ(field<uint32_t>(tif, TIFFTAG_SUBFILETYPE), uint32_t{FILETYPE_PAGE});
    EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_COMPRESSION),
              g4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3);
    EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE), 1);
    EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_FILLORDER), FILLORDER_MSB2LSB);
    EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_RESOLUTIONUNIT), RESUNIT_INCH);
    EXPECT_FLOAT_EQ(field<float>(tif, TIFFTAG_XRESOLUTION), 204);
    EXPECT_FLOAT_EQ(field<float>(tif, TIFFTAG_YRESOLUTION), fine ? 196 : 98);
    EXPECT_EQ(field<uint32_t>(tif, g4 ? TIFFTAG_GROUP4OPTIONS : TIFFTAG_GROUP3OPTIONS),
              compression == FaxCompression::kG3TwoD ? 1u : 0u);
    uint16_t number = 0, total = 0;
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_PAGENUMBER, &number, &total));
    EXPECT_EQ(number, index);
    EXPECT_EQ(total, 3);
    ASSERT_EQ(TIFFNumberOfStrips(tif), 1u);
    std::vector<uint8_t> strip(static_cast<size_t>(TIFFRawStripSize(tif, 0)));
    TIFFReadRawStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
    const CcittOptions options = faxCodingOptions(compression, fine ? 196 : 98);
    EXPECT_TRUE(strip == libtiffCode({pages[index].data(), 216, 1728, rows, nullptr}, options));
    EXPECT_TRUE(libtiffDecode(strip, 1728, rows, options) == pages[index]);
  }
  TIFFClose(tif);

  // libtiff's own checks of the file, which reading it back above leaves quiet.
  const std::string log = dir.file("log.txt");
  EXPECT_EQ(std::system(("tiffinfo -D " + path + " >" + log + " 2>&1").c_str()), 0);
  const std::string info = fileBytes(log);
  EXPECT_EQ(info.find("arning"), std::string::npos) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;
}

INSTANTIATE_TEST_SUITE_P(Codings, TiffOutput,
                         ::testing::Values(TiffCase{FaxCompression::kG3, true, "g3_fine"},
                                           TiffCase{FaxCompression::kG3, false, "g3_normal"},
                                           TiffCase{FaxCompression::kG3TwoD, true, "g3_2d_fine"},
                                           TiffCase{FaxCompression::kG3TwoD, false, "g3_2d_normal"},
                                           TiffCase{FaxCompression::kG4, true, "g4_fine"},
                                           TiffCase{FaxCompression::kG4, false, "g4_normal"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pw
