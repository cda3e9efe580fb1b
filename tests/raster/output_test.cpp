// Documents written by the fax device as TIFF Class F, PDF, PNG and raw G3 pages, read back with
// libtiff, qpdf and libpng, and what is left on disk when a document is or is not kept.
#include <gtest/gtest.h>
#include <png.h>
#include <tiffio.h>
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "common/libtiff_fax.h"
#include "device_test_util.h"
#include "pagewright/fax_device.h"
#include "platform/last_error.h"
#include "raster/output/fax_coder.h"

namespace pw {
namespace {

using namespace pw::testing;

struct FormatCase {
  OutputFormat format;
  bool fine;
  FaxCompression compression;  // of TIFF pages
  const char* output;
  Page (*read)(const TempDir&, int page, int rows, const FormatCase&);  // of two
  const char* files;  // in the directory afterwards; null: the older files' names
  const char* name;
};

template <typename T>
T field(TIFF* tif, ttag_t tag) {
  T value{};
  EXPECT_TRUE(TIFFGetField(tif, tag, &value)) << tag;
  return value;
}

// Class F tags; each strip the one libtiff's own coder writes; no complaint from tiffinfo.
Page readTiff(const TempDir& dir, int page, int rows, const FormatCase& c) {
  const std::string path = dir.file("fax.tif");
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) return {};
  EXPECT_FALSE(TIFFIsBigEndian(tif));
  EXPECT_EQ(TIFFNumberOfDirectories(tif), 2);
  EXPECT_TRUE(TIFFSetDirectory(tif, static_cast<tdir_t>(page)));
  const bool g4 = c.compression == FaxCompression::kG4;
  EXPECT_EQ(field<uint32_t>(tif, TIFFTAG_IMAGEWIDTH), 1728u);
  EXPECT_EQ(field<uint32_t>(tif, TIFFTAG_IMAGELENGTH), static_cast<uint32_t>(rows));
  EXPECT_EQ(field<uint32_t>(tif, TIFFTAG_SUBFILETYPE), uint32_t{FILETYPE_PAGE});
  EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_COMPRESSION),
            g4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_CCITTFAX3);
  EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE), 1);
  EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_PHOTOMETRIC), PHOTOMETRIC_MINISWHITE);
  EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_FILLORDER), FILLORDER_MSB2LSB);
  EXPECT_EQ(field<uint16_t>(tif, TIFFTAG_RESOLUTIONUNIT), RESUNIT_INCH);
  EXPECT_FLOAT_EQ(field<float>(tif, TIFFTAG_XRESOLUTION), 204);
  EXPECT_FLOAT_EQ(field<float>(tif, TIFFTAG_YRESOLUTION), c.fine ? 196 : 98);
  EXPECT_EQ(field<uint32_t>(tif, g4 ? TIFFTAG_GROUP4OPTIONS : TIFFTAG_GROUP3OPTIONS),
            c.compression == FaxCompression::kG3TwoD ? 1u : 0u);
  uint16_t number = 0, total = 0;
  EXPECT_TRUE(TIFFGetField(tif, TIFFTAG_PAGENUMBER, &number, &total));
  EXPECT_TRUE(number == page && total == 2) << number << " of " << total;
  EXPECT_EQ(TIFFNumberOfStrips(tif), 1u);  // of all the rows
  std::vector<uint8_t> strip(static_cast<size_t>(TIFFRawStripSize(tif, 0)));
  TIFFReadRawStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size()));
  TIFFClose(tif);
  const CcittOptions options = faxCodingOptions(c.compression, c.fine ? 196 : 98);
  Page pixels = libtiffDecode(strip, 1728, rows, options);
  EXPECT_TRUE(strip == libtiffCode({pixels.data(), 216, 1728, rows, nullptr}, options));
  // libtiff's own checks of the file, which reading it back above leaves quiet.
  const std::string log = dir.file("log.txt");
  EXPECT_EQ(std::system(("tiffinfo -D " + path + " >" + log + " 2>&1").c_str()), 0);
  const std::string info = fileBytes(log);
  EXPECT_TRUE(info.find("arning") == std::string::npos && info.find("rror") == std::string::npos)
      << info;
  return pixels;
}

// One G4 image a page, filling a page box of the raster's size.
Page readPdf(const TempDir& dir, int page, int rows, const FormatCase&) {
  QPDF pdf;
  pdf.processFile(dir.file("fax.pdf").c_str());
  std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
  EXPECT_EQ(pages.size(), 2u);
  QPDFObjectHandle box = pages.at(page).getObjectHandle().getKey("/MediaBox");
  EXPECT_NEAR(box.getArrayItem(2).getNumericValue(), 1728 * 72.0 / 204, 0.01);
  EXPECT_NEAR(box.getArrayItem(3).getNumericValue(), rows * 72.0 / 196, 0.01);
  auto content = pages.at(page).getObjectHandle().getKey("/Contents").getStreamData();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(content->getBuffer()), content->getSize()),
            "q " + box.getArrayItem(2).unparse() + " 0 0 " + box.getArrayItem(3).unparse() +
                " 0 0 cm /Im0 Do Q\n");
  QPDFObjectHandle image = pages.at(page).getImages().begin()->second;
  EXPECT_EQ(image.getDict().getKey("/DecodeParms").getKey("/K").getIntValue(), -1);
  std::shared_ptr<Buffer> raw = image.getRawStreamData();
  return libtiffDecode({raw->getBuffer(), raw->getBuffer() + raw->getSize()}, 1728, rows,
                       {CcittCoding::kT6, 0, false});
}

// 1-bit grey pages; at normal resolution each line twice, so that the page keeps its proportions.
Page readPng(const TempDir& dir, int page, int rows, const FormatCase& c) {
  FILE* file = std::fopen(dir.file("fax-00" + std::to_string(page + 1) + ".png").c_str(), "rb");
  if (!file) return {};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_read_info(png, info);
  const int repeat = c.fine ? 1 : 2;
  EXPECT_EQ(png_get_image_height(png, info), static_cast<uint32_t>(rows * repeat));
  EXPECT_EQ(png_get_image_width(png, info), 1728u);
  EXPECT_EQ(png_get_bit_depth(png, info), 1);
  png_set_invert_mono(png);
  Page pixels(static_cast<size_t>(rows) * 216), copy(216);
  for (int y = 0; y < rows * repeat; ++y) {
    png_read_row(png, copy.data(), nullptr);
    if (y % repeat == 0) std::copy(copy.begin(), copy.end(), pixels.begin() + y / repeat * 216);
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), pixels.begin() + y / repeat * 216)) << y;
  }
  png_read_end(png, nullptr);  // the file is whole
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return pixels;
}

// mgetty's and efax's tools read raw G3: 1-D lines, an EOL (000000000001) before each, RTC (six
// EOLs) at the end, most significant bit first; 1-D whatever coding the device was asked for.
Page readG3(const TempDir& dir, int page, int rows, const FormatCase&) {
  const std::string coded = fileBytes(dir.file("fax.00" + std::to_string(page + 1)));
  EXPECT_EQ(uint8_t(coded[0]) << 4 | uint8_t(coded[1]) >> 4, 1);  // an EOL first
  EXPECT_EQ(coded.substr(coded.size() - 9), std::string("\x00\x10\x01\x00\x10\x01\x00\x10\x01", 9));
  return libtiffDecode({coded.begin(), coded.end()}, 1728, rows, {CcittCoding::kT4OneD, 0, false});
}

class PageFormats : public ::testing::TestWithParam<FormatCase> {};

const std::string kOlder =
    "fax-001.png fax-003.png fax.001 fax.003 fax.004 fax.006 fax.pdf fax.tif ";

// However a document ends without being kept, an older output of its name stays as it was and
// nothing else is left; a document without pages is kept as no file at all. A kept one is only
// hidden temporary files until kept. Page files of an older document beyond this one's pages go
// with it, up to a gap in their numbers.
TEST_P(PageFormats, AppearOnlyWhenKeptAndReadBackAsTheDrawnPixels) {
  const FormatCase& c = GetParam();
  TempDir dir;
  for (size_t at = 0; at < kOlder.size(); at = kOlder.find(' ', at) + 1)
    dir.write(kOlder.substr(at, kOlder.find(' ', at) - at), "older");
  for (int ending = 0; ending < 4; ++ending) {
    auto device = makeDevice(dir.file(c.output), c.format, c.fine, c.compression);
    if (ending == 3) {
      ASSERT_GE(device->startDoc("empty"), 1);
      EXPECT_TRUE(device->endDoc() == 1 && device->commit());
      continue;
    }
    drawPages(*device, 1);
    // Destroyed within the document, abandoned, destroyed after it.
    EXPECT_EQ(ending > 0 ? device->endDoc() : 1, 1);
    if (ending == 1) device->abandon();
  }
  EXPECT_EQ(filesIn(dir.path()), kOlder);
  EXPECT_EQ(fileBytes(outputFileName(c.format, dir.file(c.output), 1, 1)), "older");

  auto device = makeDevice(dir.file(c.output), c.format, c.fine, c.compression);
  const std::vector<Page> pages = drawPages(*device, 2);
  ASSERT_EQ(device->endDoc(), 1);
  const std::string temporary = filesIn(dir.path());
  EXPECT_EQ(temporary.substr(0, 1), ".");
  EXPECT_EQ(temporary.substr(temporary.size() - kOlder.size()), kOlder);
  ASSERT_TRUE(device->commit());
  EXPECT_EQ(filesIn(dir.path()), c.files ? c.files : kOlder);
  EXPECT_EQ(device->pagesWritten(), 2);
  for (int page = 0; page < 2; ++page)
    EXPECT_TRUE(c.read(dir, page, device->raster().height(), c) == pages[page]) << page;
  EXPECT_FALSE(device->commit());
  EXPECT_EQ(lastError(), kErrorInvalidFunction);  // kept once only

  // No document starts where its folder is missing.
  device = makeDevice(dir.file(std::string("missing/") + c.output), c.format);
  setLastError(0);
  EXPECT_LT(device->startDoc("doc"), 1);
  EXPECT_TRUE(lastError() == kErrorPathNotFound && device->documentError() == kErrorPathNotFound);
  EXPECT_EQ(device->startPage(), 0);  // no document to draw in
  // A file of its own name cannot replace a folder; pages of their own have names of their own.
  std::filesystem::create_directory(dir.path() / "folder");
  const bool ownNames = c.format == OutputFormat::kPng || c.format == OutputFormat::kG3;
  EXPECT_EQ(makeDevice(dir.file("folder"), c.format)->startDoc("doc") >= 1, ownNames);
  EXPECT_EQ(ownNames ? kErrorAccessDenied : lastError(), kErrorAccessDenied);
}

constexpr auto kG3 = FaxCompression::kG3, kG3TwoD = FaxCompression::kG3TwoD,
               kG4 = FaxCompression::kG4;
constexpr auto kTiff = OutputFormat::kTiff, kPng = OutputFormat::kPng;
const char* const kPngFiles =
    "fax-001.png fax-002.png fax.001 fax.003 fax.004 fax.006 fax.pdf fax.tif ";

INSTANTIATE_TEST_SUITE_P(
    Formats, PageFormats,
    ::testing::Values(
        FormatCase{kTiff, true, kG3, "fax.tif", readTiff, nullptr, "tiff_g3_fine"},
        FormatCase{kTiff, false, kG3, "fax.tif", readTiff, nullptr, "tiff_g3_normal"},
        FormatCase{kTiff, true, kG3TwoD, "fax.tif", readTiff, nullptr, "tiff_g3_2d_fine"},
        FormatCase{kTiff, false, kG3TwoD, "fax.tif", readTiff, nullptr, "tiff_g3_2d_normal"},
        FormatCase{kTiff, true, kG4, "fax.tif", readTiff, nullptr, "tiff_g4_fine"},
        FormatCase{kTiff, false, kG4, "fax.tif", readTiff, nullptr, "tiff_g4_normal"},
        FormatCase{OutputFormat::kPdf, true, kG3, "fax.pdf", readPdf, nullptr, "pdf"},
        FormatCase{kPng, true, kG3, "fax.png", readPng, kPngFiles, "png_fine"},
        FormatCase{kPng, false, kG3, "fax", readPng, kPngFiles, "png_normal"},
        FormatCase{OutputFormat::kG3, false, kG4, "fax", readG3,
                   "fax-001.png fax-003.png fax.001 fax.002 fax.006 fax.pdf fax.tif ", "g3"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FaxOutput, PageFileNamesKeepTheDirectoryAndExtensionAndSort) {
  // The path, format, page and page count; the name.
  const std::tuple<const char*, uint32_t, uint32_t, uint32_t, const char*> cases[] = {
      {"/tmp/a.b/fax.png", PW_FAX_FORMAT_PNG, 1, 1, "/tmp/a.b/fax-001.png"},
      {"/tmp/a.b/fax", PW_FAX_FORMAT_PNG, 12, 999, "/tmp/a.b/fax-012.png"},
      {"out.PNG", PW_FAX_FORMAT_PNG, 101, 1000, "out-0101.PNG"},
      {"/x/.hidden", PW_FAX_FORMAT_PNG, 2, 2, "/x/.hidden-002.png"},
      {"fax.tif", PW_FAX_FORMAT_TIFF, 2, 3, "fax.tif"},
      {"/tmp/a.b/fax", PW_FAX_FORMAT_G3, 7, 1000, "/tmp/a.b/fax.0007"},
      {"fax.png", PW_FAX_FORMAT_PNG, 4, 3, ""},  // beyond the count
  };
  for (const auto& [path, format, page, count, expected] : cases) {
    char name[64] = "";
    EXPECT_EQ(pwFaxOutputFileName(path, format, page, count, name, sizeof name),
              std::strlen(expected));
    EXPECT_STREQ(name, expected);
  }
  char small[4];
  EXPECT_EQ(pwFaxOutputFileName("abcdef.pdf", PW_FAX_FORMAT_PDF, 1, 1, small, sizeof small), 10u);
  EXPECT_STREQ(small, "abc");
}

TEST(FaxDeviceApi, AbandoningAllOutputsRemovesEveryTemporaryFile) {
  TempDir dir;
  EXPECT_EXIT(
      {
        auto drawing = makeDevice(dir.file("a.tif"));
        drawPages(*drawing, 1);
        auto finished = makeDevice(dir.file("b.png"), OutputFormat::kPng);
        drawPages(*finished, 2);
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

}  // namespace
}  // namespace pw
