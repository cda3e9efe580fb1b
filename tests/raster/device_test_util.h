// Shared helpers of the fax device tests: devices on short pages, fonts, pages of text, ink.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "raster/fax_device.h"

namespace pw::testing {

using Page = std::vector<uint8_t>;

/// A device on a 40 mm custom page, so that tests encode little.
inline std::unique_ptr<FaxDevice> makeDevice(const std::string& path,
                                             OutputFormat format = OutputFormat::kTiff,
                                             bool fine = true,
                                             FaxCompression compression = FaxCompression::kG3,
                                             int threads = 0, FaxCoder coder = FaxCoder::kOwn) {
  return FaxDevice::create({path, format, compression, fine, Paper::kCustom, 40, threads, coder});
}

inline LogFont makeFont(const char* face, int height, int weight = 400) {
  LogFont font{};
  font.lfHeight = height;
  font.lfWeight = weight;
  std::strncpy(font.lfFaceName, face, sizeof font.lfFaceName - 1);
  return font;
}

/// Creates the font and selects it; null when creation fails.
inline FontHandle useFont(FaxDevice& device, const LogFont& record) {
  FontHandle font = device.createFont(record);
  if (font) device.selectFont(font);
  return font;
}

/// Starts a document and draws pages of the kind that breaks coders, different on each page:
/// text in several faces and sizes, bold, turned, underlined and struck out over an opaque
/// background on black, and cut by all four edges. Returns the rasters as drawn; the document
/// stays open.
inline std::vector<Page> drawPages(FaxDevice& device, int pages) {
  std::vector<Page> drawn;
  EXPECT_GE(device.startDoc("doc.txt"), 1);
  for (int page = 0; page < pages; ++page) {
    EXPECT_EQ(device.startPage(), 1);
    auto line = [&](LogFont font, int x, int y) {
      const std::string text =
          "Page " + std::to_string(page + 1) +
          ": the quick brown fox jumps over the lazy dog 0123456789 ({[|]}) @#%&";
      EXPECT_TRUE(useFont(device, font));
      EXPECT_TRUE(device.textOut(x + 90 * page, y, text.data(), static_cast<int>(text.size())));
    };
    line(makeFont("Courier New", -30), 40, 10);
    line(makeFont("Courier New", -40, 700), -25, 50);
    line(makeFont("DejaVu Math TeX Gyre", -60), 900, 90);
    LogFont marked = makeFont("Liberation Serif", 40);
    marked.lfUnderline = marked.lfStrikeOut = marked.lfItalic = 1;
    const_cast<PageRaster&>(device.raster()).fillRect(300, 150, 1300, 230, true);
    device.setBkMode(kOpaque);
    line(marked, 200, 170);
    device.setBkMode(kTransparent);
    LogFont turned = makeFont("Courier New", -30);
    turned.lfEscapement = 900;
    line(turned, 1700, 600);
    line(makeFont("Courier New", -40), 10, device.raster().height() - 20);
    const PageRaster& raster = device.raster();
    drawn.emplace_back(raster.data(), raster.data() + raster.byteSize());
    EXPECT_EQ(device.endPage(), 1);
  }
  return drawn;
}

inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

/// The names in a directory, sorted, each followed by a space.
inline std::string filesIn(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.insert(entry.path().filename().string() + " ");
  std::string joined;
  for (const std::string& name : names) joined += name;
  return joined;
}

/// The smallest rectangle holding every black pixel of the raster (right and bottom exclusive),
/// and how many there are.
struct InkBounds {
  int left, top, right, bottom, pixels;
};

inline InkBounds inkBounds(const PageRaster& raster) {
  InkBounds bounds{raster.width(), raster.height(), 0, 0, 0};
  for (int y = 0; y < raster.height(); ++y) {
    for (int x = 0; x < raster.width(); ++x) {
      if (!raster.pixel(x, y)) continue;
      bounds = {std::min(bounds.left, x), std::min(bounds.top, y), std::max(bounds.right, x + 1),
                std::max(bounds.bottom, y + 1), bounds.pixels + 1};
    }
  }
  return bounds;
}

}  // namespace pw::testing
