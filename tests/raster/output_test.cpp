// Documents written by the fax device and read back with libtiff, qpdf and libpng.
#include <gtest/gtest.h>
#include <png.h>
#define POINTERHOLDER_TRANSITION 4
#include <tiffio.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "api/surface_handle.h"
#include "common/temp_dir.h"
#include "device_test_util.h"
#include "pagewright/fax_device.h"
#include "platform/last_error.h"

namespace pw {
namespace {

namespace fs = std::filesystem;
using testing::makeDevice;

using Page = std::vector<uint8_t>;

// Draws a distinct pattern on each page and returns the rasters as they were written.
std::vector<Page> writeDocument(FaxDevice& device, int pages) {
  std::vector<Page> written;
  EXPECT_GE(device.startDoc("doc.txt"), 1);
  FontHandle font = device.createFont(testing::makeFont("Courier New", -30));
  device.selectFont(font);
  for (int page = 0; page < pages; ++page) {
    EXPECT_EQ(device.startPage(), 1);
    const std::string text = "Page " + std::to_string(page + 1) + " of the fax";
    device.textOut(40 + 100 * page, 30, text.data(), static_cast<int>(text.size()));
    const PageRaster& raster = device.raster();
    written.emplace_back(raster.data(), raster.data() + raster.byteSize());
    EXPECT_EQ(device.endPage(), 1);
  }
  return written;
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> filesIn(const fs::path& dir) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(dir)) files.push_back(entry.path().filename());
  std::sort(files.begin(), files.end());
  return files;
}

struct TiffCase {
  FaxCompression compression;
  uint16_t tiffCompression;
  bool fine;
};

class TiffOutput : public ::testing::TestWithParam<TiffCase> {};

TEST_P(TiffOutput, ReadsBackAsClassFWithTheDrawnPixels) {
  pw::testing::TempDir dir;
  const std::string path = dir.file("fax.tif");
  const bool fine = GetParam().fine;
  auto device = makeDevice(path, OutputFormat::kTiff, fine, 40, GetParam().compression);
  EXPECT_EQ(device->getDeviceCaps(kLogPixelsY), fine ? 196 : 98);
  EXPECT_EQ(device->raster().height(), fine ? 308 : 154);  // 40 mm, no part of a line more
  const std::vector<Page> pages = writeDocument(*device, 3);
  ASSERT_EQ(device->endDoc(), 1);
  ASSERT_TRUE(device->commit());
  EXPECT_EQ(device->pagesWritten(), 3);

  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  EXPECT_FALSE(TIFFIsBigEndian(tif));
  EXPECT_EQ(TIFFNumberOfDirectories(tif), 3);
  for (uint16_t index = 0; index < 3; ++index) {
    SCOPED_TRACE(index);
    ASSERT_TRUE(TIFFSetDirectory(tif, index));
    uint32_t width = 0, length = 0, subfile = 0, rowsPerStrip = 0, options = 0;
    uint16_t compression = 0, bits = 0, photometric = 0, fillOrder = 0, unit = 0;
    uint16_t pageNumber = 0, pageTotal = 0;
    float xres = 0, yres = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length);
    TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &subfile);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_FILLORDER, &fillOrder));
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres);
    ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_PAGENUMBER, &pageNumber, &pageTotal));
    EXPECT_EQ(width, 1728u);
    EXPECT_EQ(length, static_cast<uint32_t>(device->raster().height()));
    EXPECT_EQ(subfile, static_cast<uint32_t>(FILETYPE_PAGE));
    EXPECT_EQ(rowsPerStrip, length);
    EXPECT_EQ(TIFFNumberOfStrips(tif), 1u);
    EXPECT_EQ(compression, GetParam().tiffCompression);
    EXPECT_EQ(bits, 1);
    EXPECT_EQ(photometric, PHOTOMETRIC_MINISWHITE);
    EXPECT_EQ(fillOrder, FILLORDER_MSB2LSB);
    EXPECT_EQ(unit, RESUNIT_INCH);
    EXPECT_FLOAT_EQ(xres, 204);
    EXPECT_FLOAT_EQ(yres, fine ? 196 : 98);
    EXPECT_EQ(pageNumber, index);
    EXPECT_EQ(pageTotal, 3);
    if (compression == COMPRESSION_CCITTFAX3) {
      ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &options));
      EXPECT_EQ(options, GetParam().compression == FaxCompression::kG3TwoD ? 1u : 0u);
    } else {
      ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_GROUP4OPTIONS, &options));
      EXPECT_EQ(options, 0u);
    }
    Page decoded(pages[index].size());
    ASSERT_EQ(TIFFReadEncodedStrip(tif, 0, decoded.data(), static_cast<tmsize_t>(decoded.size())),
              static_cast<tmsize_t>(decoded.size()));
    EXPECT_TRUE(decoded == pages[index]);
  }
  TIFFClose(tif);
  EXPECT_EQ(filesIn(dir.path()), std::vector<fs::path>{"fax.tif"});  // no temporary left

  // libtiff's coder writes the very same file.
  pw::testing::TempDir other;
  auto reference = makeDevice(other.file("fax.tif"), OutputFormat::kTiff, fine, 40,
                              GetParam().compression, FaxCoder::kLibtiff);
  writeDocument(*reference, 3);
  ASSERT_EQ(reference->endDoc(), 1);
  ASSERT_TRUE(reference->commit());
  EXPECT_TRUE(fileBytes(path) == fileBytes(other.file("fax.tif")));
}

INSTANTIATE_TEST_SUITE_P(
    Codings, TiffOutput,
    ::testing::Values(TiffCase{FaxCompression::kG3, COMPRESSION_CCITTFAX3, true},
                      TiffCase{FaxCompression::kG3TwoD, COMPRESSION_CCITTFAX3, true},
                      TiffCase{FaxCompression::kG4, COMPRESSION_CCITTFAX4, true},
                      TiffCase{FaxCompression::kG3, COMPRESSION_CCITTFAX3, false},
                      TiffCase{FaxCompression::kG3TwoD, COMPRESSION_CCITTFAX3, false}));

// Decodes a bare CCITT stream (Group 4, or Group 3 1-D) by wrapping it in a one-strip TIFF.
Page decodeCcitt(const std::string& coded, int rows, const std::string& scratch,
                 uint16_t compression = COMPRESSION_CCITTFAX4) {
  TIFF* tif = TIFFOpen(scratch.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 1728);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, rows);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFWriteRawStrip(tif, 0, const_cast<char*>(coded.data()), static_cast<tmsize_t>(coded.size()));
  TIFFClose(tif);
  tif = TIFFOpen(scratch.c_str(), "r");
  Page page(static_cast<size_t>(rows) * 216);
  TIFFReadEncodedStrip(tif, 0, page.data(), static_cast<tmsize_t>(page.size()));
  TIFFClose(tif);
  return page;
}

TEST(FaxOutput, PdfPagesAreGroup4ImagesAtPaperSize) {
  pw::testing::TempDir dir;
  const std::string path = dir.file("fax.pdf");
  auto device = makeDevice(path, OutputFormat::kPdf, true, 100);
  const std::vector<Page> pages = writeDocument(*device, 2);
  ASSERT_EQ(device->endDoc(), 1);
  ASSERT_TRUE(device->commit());
  EXPECT_EQ(filesIn(dir.path()), std::vector<fs::path>{"fax.pdf"});

  QPDF pdf;
  pdf.processFile(path.c_str());
  std::vector<QPDFPageObjectHelper> read = QPDFPageDocumentHelper(pdf).getAllPages();
  ASSERT_EQ(read.size(), 2u);
  const int rows = device->raster().height();
  for (size_t i = 0; i < read.size(); ++i) {
    QPDFObjectHandle box = read[i].getObjectHandle().getKey("/MediaBox");
    EXPECT_NEAR(box.getArrayItem(2).getNumericValue(), 1728 * 72.0 / 204, 0.01);
    EXPECT_NEAR(box.getArrayItem(3).getNumericValue(), rows * 72.0 / 196, 0.01);
    QPDFObjectHandle image = read[i].getImages().begin()->second;
    QPDFObjectHandle dict = image.getDict();
    EXPECT_EQ(dict.getKey("/Filter").getName(), "/CCITTFaxDecode");
    EXPECT_EQ(dict.getKey("/Width").getIntValue(), 1728);
    EXPECT_EQ(dict.getKey("/Height").getIntValue(), rows);
    EXPECT_EQ(dict.getKey("/DecodeParms").getKey("/K").getIntValue(), -1);
    std::shared_ptr<Buffer> raw = image.getRawStreamData();
    const std::string coded(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize());
    EXPECT_TRUE(decodeCcitt(coded, rows, dir.file("scratch.tif")) == pages[i]);
  }
}

// mgetty's and efax's tools read raw G3: 1-D lines, an EOL (000000000001) before each, RTC (six
// EOLs) at the end, most significant bit first; 1-D whatever coding the device was asked for.
TEST(FaxOutput, RawG3PagesAreOneDimensionalLinesAfterEolsEndingInRtc) {
  pw::testing::TempDir dir;
  for (const char* older : {"fax.001", "fax.003", "fax.004", "fax.006"}) {
    std::ofstream(dir.file(older)) << "an older document's page";
  }
  auto device =
      makeDevice(dir.file("fax"), OutputFormat::kG3, /*fine=*/false, 40, FaxCompression::kG4);
  const std::vector<Page> pages = writeDocument(*device, 2);
  ASSERT_EQ(device->endDoc(), 1);
  ASSERT_TRUE(device->commit());
  // Pages the document no longer has go with the older document, up to a gap in the numbers.
  EXPECT_EQ(filesIn(dir.path()), (std::vector<fs::path>{"fax.001", "fax.002", "fax.006"}));
  const std::string rtc("\x00\x10\x01\x00\x10\x01\x00\x10\x01", 9);
  for (int i = 0; i < 2; ++i) {
    std::ifstream file(dir.file("fax.00" + std::to_string(i + 1)), std::ios::binary);
    const std::string coded{std::istreambuf_iterator<char>(file), {}};
    ASSERT_GT(coded.size(), rtc.size() + 2);
    EXPECT_EQ(coded[0], 0);
    EXPECT_EQ(coded[1] & 0xF0, 0x10);
    EXPECT_EQ(coded.substr(coded.size() - rtc.size()), rtc);
    EXPECT_TRUE(decodeCcitt(coded, device->raster().height(), dir.file("scratch.tif"),
                            COMPRESSION_CCITTFAX3) == pages[i]);
  }
}

// Reads a 1-bit grey PNG into raster layout (1 = black).
Page readPng(const std::string& path, uint32_t* width, uint32_t* height) {
  FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_NE(file, nullptr);
  if (!file) return {};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_read_info(png, info);
  *width = png_get_image_width(png, info);
  *height = png_get_image_height(png, info);
  EXPECT_EQ(png_get_bit_depth(png, info), 1);
  png_set_invert_mono(png);
  Page page(static_cast<size_t>(*height) * 216);
  for (uint32_t y = 0; y < *height; ++y) png_read_row(png, page.data() + y * 216, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return page;
}

TEST(FaxOutput, PngWritesOneNumberedFilePerPage) {
  pw::testing::TempDir dir;
  auto device = makeDevice(dir.file("fax.png"), OutputFormat::kPng);
  const std::vector<Page> pages = writeDocument(*device, 2);
  ASSERT_EQ(device->endDoc(), 1);
  ASSERT_TRUE(device->commit());
  EXPECT_EQ(filesIn(dir.path()), (std::vector<fs::path>{"fax-001.png", "fax-002.png"}));
  for (int i = 0; i < 2; ++i) {
    uint32_t width = 0, height = 0;
    const Page page = readPng(dir.file("fax-00" + std::to_string(i + 1) + ".png"), &width, &height);
    EXPECT_EQ(width, 1728u);
    EXPECT_EQ(height, static_cast<uint32_t>(device->raster().height()));
    EXPECT_TRUE(page == pages[i]);
  }
}

TEST(FaxOutput, NormalResolutionPngRepeatsEachLine) {
  pw::testing::TempDir dir;
  auto device = makeDevice(dir.file("n"), OutputFormat::kPng, /*fine=*/false);
  const std::vector<Page> pages = writeDocument(*device, 1);
  ASSERT_EQ(device->endDoc(), 1);
  ASSERT_TRUE(device->commit());
  uint32_t width = 0, height = 0;
  const Page page = readPng(dir.file("n-001.png"), &width, &height);
  const int rows = device->raster().height();
  ASSERT_EQ(height, static_cast<uint32_t>(2 * rows));
  for (int y = 0; y < rows; ++y) {
    for (int copy = 0; copy < 2; ++copy) {
      ASSERT_TRUE(std::equal(pages[0].begin() + y * 216, pages[0].begin() + (y + 1) * 216,
                             page.begin() + (2 * y + copy) * 216))
          << y;
    }
  }
}

std::string outputName(const char* path, uint32_t format, uint32_t page, uint32_t count) {
  char name[64];
  const uint32_t length = pwFaxOutputFileName(path, format, page, count, name, sizeof name);
  return length == 0 ? "failed" : name;
}

TEST(FaxOutput, PageFileNamesKeepTheDirectoryAndExtensionAndSort) {
  EXPECT_EQ(outputName("/tmp/a.b/fax.png", PW_FAX_FORMAT_PNG, 1, 1), "/tmp/a.b/fax-001.png");
  EXPECT_EQ(outputName("/tmp/a.b/fax", PW_FAX_FORMAT_PNG, 12, 999), "/tmp/a.b/fax-012.png");
  EXPECT_EQ(outputName("out.PNG", PW_FAX_FORMAT_PNG, 101, 1000), "out-0101.PNG");
  EXPECT_EQ(outputName("/x/.hidden", PW_FAX_FORMAT_PNG, 2, 2), "/x/.hidden-002.png");
  EXPECT_EQ(outputName("fax.tif", PW_FAX_FORMAT_TIFF, 2, 3), "fax.tif");
  EXPECT_EQ(outputName("/tmp/a.b/fax", PW_FAX_FORMAT_G3, 7, 1000), "/tmp/a.b/fax.0007");
  EXPECT_EQ(outputName("fax.png", PW_FAX_FORMAT_PNG, 4, 3), "failed");
  char small[4];
  EXPECT_EQ(pwFaxOutputFileName("abcdef.pdf", PW_FAX_FORMAT_PDF, 1, 1, small, sizeof small), 10u);
  EXPECT_STREQ(small, "abc");
}

class FaxDocument : public ::testing::TestWithParam<OutputFormat> {};

TEST_P(FaxDocument, OutputAppearsOnlyWhenKept) {
  pw::testing::TempDir dir;
  const std::string path = dir.file("fax.out");
  auto device = makeDevice(path, GetParam());
  writeDocument(*device, 2);
  ASSERT_EQ(device->endDoc(), 1);
  for (const fs::path& name : filesIn(dir.path())) {
    EXPECT_EQ(name.string()[0], '.') << name;  // only hidden temporaries so far
  }
  ASSERT_TRUE(device->commit());
  for (const fs::path& name : filesIn(dir.path())) EXPECT_NE(name.string()[0], '.') << name;
  EXPECT_FALSE(filesIn(dir.path()).empty());
  EXPECT_FALSE(device->commit());
  EXPECT_EQ(lastError(), kErrorInvalidFunction);  // kept once only
}

TEST_P(FaxDocument, DocumentNotKeptLeavesTheOlderOutputAsItWas) {
  pw::testing::TempDir dir;
  const std::string path = dir.file("fax.out");
  const std::string older = outputFileName(GetParam(), path, 1, 1);
  dir.write(fs::path(older).filename().string(), "older");
  for (const bool abandonFirst : {true, false}) {
    auto device = makeDevice(path, GetParam());
    writeDocument(*device, 2);
    ASSERT_EQ(device->endDoc(), 1);
    if (abandonFirst) device->abandon();
  }
  EXPECT_EQ(filesIn(dir.path()), std::vector<fs::path>{fs::path(older).filename()});
  std::ifstream file(older);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "older");
}

TEST_P(FaxDocument, DocumentWithoutPagesLeavesNoFile) {
  pw::testing::TempDir dir;
  auto device = makeDevice(dir.file("fax.out"), GetParam());
  ASSERT_GE(device->startDoc("doc"), 1);
  EXPECT_EQ(device->endDoc(), 1);
  EXPECT_TRUE(device->commit());
  EXPECT_TRUE(filesIn(dir.path()).empty());
  EXPECT_EQ(device->pagesWritten(), 0);
}

TEST_P(FaxDocument, StartDocFailsWhenTheOutputCannotBeCreated) {
  pw::testing::TempDir dir;
  auto device = makeDevice(dir.file("missing/fax.out"), GetParam());
  setLastError(0);
  EXPECT_LT(device->startDoc("doc"), 1);
  EXPECT_EQ(lastError(), kErrorPathNotFound);
  EXPECT_EQ(device->documentError(), kErrorPathNotFound);
  EXPECT_EQ(device->startPage(), 0);  // no document to draw in

  // Pages of their own have names of their own.
  if (GetParam() == OutputFormat::kPng || GetParam() == OutputFormat::kG3) return;
  fs::create_directory(dir.path() / "fax.out");
  device = makeDevice(dir.file("fax.out"), GetParam());
  EXPECT_LT(device->startDoc("doc"), 1);
  EXPECT_EQ(lastError(), kErrorAccessDenied);
}

TEST_P(FaxDocument, DestroyingTheDeviceMidDocumentLeavesNothing) {
  pw::testing::TempDir dir;
  {
    auto device = makeDevice(dir.file("fax.out"), GetParam());
    writeDocument(*device, 1);
  }
  EXPECT_TRUE(filesIn(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, FaxDocument,
                         ::testing::Values(OutputFormat::kTiff, OutputFormat::kPdf,
                                           OutputFormat::kPng, OutputFormat::kG3));

TEST(FaxDeviceApi, CreatesADeviceAndReportsItsDocument) {
  pw::testing::TempDir dir;
  const std::string path = dir.file("api.tif");
  PwFaxDeviceOptions options{};
  options.outputPath = path.c_str();
  options.paper = PW_FAX_PAPER_LETTER;
  PwSurface* surface = pwCreateFaxDevice(&options);
  ASSERT_NE(surface, nullptr);
  DrawingSurface& device = *surface->surface;
  EXPECT_EQ(device.getDeviceCaps(kLogPixelsX), 204);
  EXPECT_EQ(device.getDeviceCaps(kLogPixelsY), 196);
  EXPECT_GE(device.startDoc("doc"), 1);
  device.startPage();
  device.endPage();
  uint32_t pages = 9, error = 9;
  EXPECT_EQ(pwFaxDeviceStatus(surface, &pages, &error), 1);
  EXPECT_EQ(pages, 1u);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(device.endDoc(), 1);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(pwFaxDeviceCommit(surface), 1);
  EXPECT_TRUE(fs::exists(path));
  delete surface;
}

TEST(FaxDeviceApi, AbandoningAllOutputsRemovesEveryTemporaryFile) {
  pw::testing::TempDir dir;
  EXPECT_EXIT(
      {
        auto drawing = makeDevice(dir.file("a.tif"));
        writeDocument(*drawing, 1);
        auto finished = makeDevice(dir.file("b.png"), OutputFormat::kPng);
        writeDocument(*finished, 2);
        (void)finished->endDoc();
        pwAbandonAllFaxOutputs();
        const bool kept = finished->commit();
        const uint32_t keepError = lastError();
        const bool started = makeDevice(dir.file("c.pdf"), OutputFormat::kPdf)->startDoc("c") >= 1;
        std::fprintf(stderr, "files=%zu kept=%d %u started=%d %u\n", filesIn(dir.path()).size(),
                     kept, keepError, started, lastError());
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(0), "files=0 kept=0 995 started=0 995");
}

TEST(FaxDeviceApi, RejectsBadOptions) {
  EXPECT_EQ(pwCreateFaxDevice(nullptr), nullptr);
  EXPECT_EQ(lastError(), kErrorInvalidParameter);
  PwFaxDeviceOptions options{};
  EXPECT_EQ(pwCreateFaxDevice(&options), nullptr);  // no path
  options.outputPath = "/tmp/x.tif";
  options.format = PW_FAX_FORMAT_G3 + 1;
  EXPECT_EQ(pwCreateFaxDevice(&options), nullptr);
  options.format = PW_FAX_FORMAT_TIFF;
  options.paper = PW_FAX_PAPER_CUSTOM;
  options.paperHeightMm = 0;
  EXPECT_EQ(pwCreateFaxDevice(&options), nullptr);
  options.paperHeightMm = 5000;
  EXPECT_EQ(pwCreateFaxDevice(&options), nullptr);
  EXPECT_EQ(lastError(), kErrorInvalidParameter);
  EXPECT_EQ(pwFaxDeviceStatus(nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(lastError(), kErrorInvalidHandle);
}

}  // namespace
}  // namespace pw
