// Other readers of the pages our coder writes: libtiff's tools, and efax's own G3 decoder,
// must see exactly the pixels drawn, and libtiff must not complain about any row.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "device_test_util.h"

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

struct ReaderCase {
  FaxCompression compression;
  bool fine;
};

class FaxReaders : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(FaxReaders, SeeThePixelsDrawn) {
  for (const char* tool : {"tiffinfo", "tiffcp", "efix"}) {
    ASSERT_TRUE(run(std::string("command -v ") + tool, "/dev/null"))
        << tool << " is missing: run scripts/install_deps.sh";
  }
  TempDir dir;
  const std::string fax = dir.file("fax.tif");
  auto device = makeDevice(fax, OutputFormat::kTiff, GetParam().fine, 50, GetParam().compression);
  const std::vector<Page> pages = drawPages(*device, 2);
  keepDocument(*device);

  const std::string log = dir.file("log.txt");
  EXPECT_TRUE(run("tiffinfo -D " + fax, log));
  const std::string info = fileBytes(log);
  EXPECT_EQ(info.find("arning"), std::string::npos) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;

  const std::string plain = dir.file("plain.tif");
  ASSERT_TRUE(run("tiffcp -c none " + fax + " " + plain, log)) << fileBytes(log);
  EXPECT_TRUE(readPlainTiff(plain) == pages);

  if (GetParam().compression != FaxCompression::kG3) return;  // efax reads one-dimensional G3
  ASSERT_TRUE(run("efix -i tiffg3 -o pbm -n " + dir.file("page%d.pbm") + " " + fax, log))
      << fileBytes(log);
  for (size_t i = 0; i < pages.size(); ++i) {
    EXPECT_TRUE(readPbm(dir.file("page" + std::to_string(i + 1) + ".pbm")) == pages[i]) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Codings, FaxReaders,
                         ::testing::Values(ReaderCase{FaxCompression::kG3, true},
                                           ReaderCase{FaxCompression::kG3, false},
                                           ReaderCase{FaxCompression::kG3TwoD, true},
                                           ReaderCase{FaxCompression::kG4, true}));

}  // namespace
}  // namespace pw
