// TIFF Class F files as the device writes them, judged by libtiff (tags, each strip the one its
// own coder writes, decoded pixels) and by other readers: libtiff's tools and efax's own G3
// decoder must see exactly the pixels drawn, and libtiff must not complain about any row.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/libtiff_fax.h"
#include "common/temp_dir.h"
#include "device_test_util.h"
#include "raster/output/fax_coder.h"

namespace pw {
namespace {

using namespace pw::testing;

// Runs a shell command with its output in log; true when it exits 0.
bool run(const std::string& command, const std::string& log) {
  return std::system((command + " >" + log + " 2>&1").c_str()) == 0;
}

// The pages of an uncompressed TIFF file, in whatever strips it has.
std::vector<Page> readPlainTiff(const std::string& path) {
  std::vector<Page> pages;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return pages;
  do {
    uint32_t rows = 0;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &rows);
    Page page(static_cast<size_t>(rows) * 216);
    for (uint32_t y = 0; y < rows; ++y) {
      if (TIFFReadScanline(tif, page.data() + y * 216, y) < 0) return {};
    }
    pages.push_back(std::move(page));
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  return pages;
}

// A raw PBM file's rows, which are laid out as the raster's; empty when it is not one.
Page readPbm(const std::string& path) {
  const std::string bytes = fileBytes(path);
  std::istringstream header(bytes);
  std::string magic;
  int width = 0, rows = 0;
  header >> magic >> width >> rows;
  const auto start = static_cast<size_t>(header.tellg()) + 1;
  if (magic != "P4" || width != 1728 || start + static_cast<size_t>(rows) * 216 != bytes.size()) {
    return {};
  }
  return {bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end()};
}

template <typename T>
T field(TIFF* tif, ttag_t tag) {
  T value{};
  EXPECT_TRUE(TIFFGetField(tif, tag, &value)) << tag;
  return value;
}

struct TiffCase {
  FaxCompression compression;
  bool fine;
};

class TiffOutput : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffOutput, IsClassFAndEveryReaderSeesThePixelsDrawn) {
  const auto [compression, fine] = GetParam();
  TempDir dir;
  const std::string path = dir.file("fax.tif");
  auto device = makeDevice(path, OutputFormat::kTiff, fine, 40, compression);
  EXPECT_EQ(device->getDeviceCaps(kLogPixelsY), fine ? 196 : 98);
  const int rows = device->raster().height();
  EXPECT_EQ(rows, fine ? 308 : 154);  // 40 mm, no part of a line more
  const std::vector<Page> pages = drawPages(*device, 3);
  keepDocument(*device);
  EXPECT_EQ(device->pagesWritten(), 3);
  EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"fax.tif"});  // no temporary left

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

  for (const char* tool : {"tiffinfo", "tiffcp", "efix"}) {
    ASSERT_TRUE(run(std::string("command -v ") + tool, "/dev/null"))
        << tool << " is missing: run scripts/install_deps.sh";
  }
  const std::string log = dir.file("log.txt");
  EXPECT_TRUE(run("tiffinfo -D " + path, log));
  const std::string info = fileBytes(log);
  EXPECT_EQ(info.find("arning"), std::string::npos) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;

  const std::string plain = dir.file("plain.tif");
  ASSERT_TRUE(run("tiffcp -c none " + path + " " + plain, log)) << fileBytes(log);
  EXPECT_TRUE(readPlainTiff(plain) == pages);

  if (compression != FaxCompression::kG3) return;  // efax reads one-dimensional G3
  ASSERT_TRUE(run("efix -i tiffg3 -o pbm -n " + dir.file("page%d.pbm") + " " + path, log))
      << fileBytes(log);
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_TRUE(readPbm(dir.file("page" + std::to_string(i + 1) + ".pbm")) == pages[i]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Codings, TiffOutput,
                         ::testing::Values(TiffCase{FaxCompression::kG3, true},
                                           TiffCase{FaxCompression::kG3, false},
                                           TiffCase{FaxCompression::kG3TwoD, true},
                                           TiffCase{FaxCompression::kG3TwoD, false},
                                           TiffCase{FaxCompression::kG4, true},
                                           TiffCase{FaxCompression::kG4, false}));

}  // namespace
}  // namespace pw
