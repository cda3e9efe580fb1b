// Other readers of the pages our coder writes: libtiff's tools, and efax's own G3 decoder,
// must see exactly the pixels drawn, and libtiff must not complain about any row.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "device_test_util.h"

namespace pw {
namespace {

using Page = std::vector<uint8_t>;

// Whether a program is on the PATH; the tools come from scripts/install_deps.sh.
bool haveProgram(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command with its output in log; true when it exits 0.
bool run(const std::string& command, const std::string& log) {
  return std::system((command + " >" + log + " 2>&1").c_str()) == 0;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Two pages of text in two sizes, different on each page.
std::vector<Page> writePages(FaxDevice& device) {
  std::vector<Page> pages;
  EXPECT_GE(device.startDoc("readers"), 1);
  for (int page = 0; page < 2; ++page) {
    EXPECT_EQ(device.startPage(), 1);
    for (int line = 0; line < 6; ++line) {
      const int height = line % 2 == 0 ? -30 : -44;
      device.selectFont(
          device.createFont(testing::makeFont("Courier New", height, 400 + 300 * page)));
      const std::string text = "Line " + std::to_string(line) + " of page " +
                               std::to_string(page + 1) + ": pack my box with five dozen jugs";
      device.textOut(20 + 37 * line, 10 + 60 * line, text.data(), static_cast<int>(text.size()));
    }
    const PageRaster& raster = device.raster();
    pages.emplace_back(raster.data(), raster.data() + raster.byteSize());
    EXPECT_EQ(device.endPage(), 1);
  }
  EXPECT_EQ(device.endDoc(), 1);
  EXPECT_TRUE(device.commit());
  return pages;
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
Page readPbm(const std::string& path, int* rows) {
  const std::string bytes = fileText(path);
  std::istringstream header(bytes);
  std::string magic;
  int width = 0;
  header >> magic >> width >> *rows;
  const auto start = static_cast<size_t>(header.tellg()) + 1;
  if (magic != "P4" || width != 1728 || start + static_cast<size_t>(*rows) * 216 > bytes.size()) {
    return {};
  }
  return {bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end()};
}

struct ReaderCase {
  FaxCompression compression;
  bool fine;
};

class FaxReaders : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(FaxReaders, SeeThePixelsDrawn) {
  for (const char* tool : {"tiffinfo", "tiffcp", "efix"}) {
    ASSERT_TRUE(haveProgram(tool)) << tool << " is missing: run scripts/install_deps.sh";
  }
  testing::TempDir dir;
  const std::string fax = dir.file("fax.tif");
  auto device =
      testing::makeDevice(fax, OutputFormat::kTiff, GetParam().fine, 50, GetParam().compression);
  const std::vector<Page> pages = writePages(*device);

  const std::string log = dir.file("log.txt");
  EXPECT_TRUE(run("tiffinfo -D " + fax, log));
  const std::string info = fileText(log);
  EXPECT_EQ(info.find("arning"), std::string::npos) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;

  const std::string plain = dir.file("plain.tif");
  ASSERT_TRUE(run("tiffcp -c none " + fax + " " + plain, log)) << fileText(log);
  EXPECT_TRUE(readPlainTiff(plain) == pages);

  if (GetParam().compression != FaxCompression::kG3) return;  // efax reads one-dimensional G3
  ASSERT_TRUE(run("efix -i tiffg3 -o pbm -n " + dir.file("page%d.pbm") + " " + fax, log))
      << fileText(log);
  for (size_t i = 0; i < pages.size(); ++i) {
    int rows = 0;
    const Page read = readPbm(dir.file("page" + std::to_string(i + 1) + ".pbm"), &rows);
    EXPECT_EQ(static_cast<size_t>(rows) * 216, pages[i].size());
    EXPECT_TRUE(read == pages[i]) << "page " << i + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(Codings, FaxReaders,
                         ::testing::Values(ReaderCase{FaxCompression::kG3, true},
                                           ReaderCase{FaxCompression::kG3, false},
                                           ReaderCase{FaxCompression::kG3TwoD, true},
                                           ReaderCase{FaxCompression::kG4, true}));

}  // namespace
}  // namespace pw
