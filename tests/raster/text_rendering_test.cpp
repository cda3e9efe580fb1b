// Text on the fax raster: metrics, placement against the measured cell, rotation, decorations,
// fonts and their stand-ins.
#include <gtest/gtest.h>

#include <regex>
#include <tuple>

#include "device_test_util.h"
#include "pagewright/fax_device.h"
#include "raster/text/font_matcher.h"

namespace pw {
namespace {

using namespace pw::testing;

// Each test draws on fresh devices of either resolution, in a font of its own.
class TextRendering : public ::testing::Test {
 protected:
  FaxDevice& device(const LogFont& record, bool fine = true) {
    devices_.push_back(makeDevice(dir_.file("out.tif"), OutputFormat::kTiff, fine));
    EXPECT_TRUE(useFont(*devices_.back(), record));
    return *devices_.back();
  }
  static TextSize measure(FaxDevice& on, const std::string& text) {
    TextSize size{};
    EXPECT_TRUE(on.getTextExtent(text.data(), static_cast<int>(text.size()), &size));
    return size;
  }
  static InkBounds draw(FaxDevice& on, int x, int y, const std::string& text) {
    EXPECT_TRUE(on.textOut(x, y, text.data(), static_cast<int>(text.size())));
    return inkBounds(on.raster());
  }
  static void expectWithin(const InkBounds& ink, int left, int top, int right, int bottom) {
    EXPECT_TRUE(ink.left >= left && ink.top >= top && ink.right <= right && ink.bottom <= bottom)
        << ink.left << "," << ink.top << " " << ink.right << "," << ink.bottom;
  }

  TempDir dir_;
  std::vector<std::unique_ptr<FaxDevice>> devices_;
};

// A positive height is the cell; a negative one the em, which the cell exceeds. Ink stays inside
// the cell, turned or not.
TEST_F(TextRendering, InkStaysInsideTheCellTheRecordAsks) {
  EXPECT_EQ(measure(device(makeFont("Courier New", 40)), "A").cy, 40);
  FaxDevice& on = device(makeFont("Courier New", -40));
  const TextSize size = measure(on, "Hxgj|Q_");
  EXPECT_GT(size.cy, 40);
  const InkBounds ink = draw(on, 100, 60, "Hxgj|Q_");
  expectWithin(ink, 100, 60, 100 + size.cx, 60 + size.cy);
  // The descenders reach well below the middle of the cell and the capitals near its top.
  EXPECT_GT(ink.bottom, 60 + size.cy * 3 / 4);
  EXPECT_LT(ink.top, 60 + size.cy / 4);
  // Liberation Mono 10 pt, as many lines at either resolution: the advances every layout of the
  // command depends on. Glyph images may be hinted differently; these must not move.
  EXPECT_EQ(measure(device(makeFont("Liberation Mono", 27)), "0123456789").cx, 150);
  FaxDevice& normal = device(makeFont("Liberation Mono", 14), false);
  EXPECT_EQ(measure(normal, "0123456789").cx, 160);
  // Full hinting for a monochrome target shrank the command's default full stop to 2 x 2 dots,
  // which OCR missed.
  const InkBounds stop = draw(normal, 20, 10, ".");
  EXPECT_GE(stop.right - stop.left, 3);
  EXPECT_GE(stop.bottom - stop.top, 2);
  // Glyphs wider than 64 dots are drawn another way: "=" keeps the gap between its bars.
  FaxDevice& large = device(makeFont("Courier New", -200));
  const InkBounds bars = draw(large, 0, 0, "=");
  ASSERT_GT(bars.right - bars.left, 64);
  for (int x = bars.left; x < bars.right; ++x)
    ASSERT_FALSE(large.raster().pixel(x, (bars.top + bars.bottom) / 2)) << x;
  // Turned text runs upwards from its reference point.
  LogFont record = makeFont("Courier New", -30);
  record.lfEscapement = 900;
  FaxDevice& turned = device(record);
  const TextSize column = measure(turned, "LLLLLLLL");
  const InkBounds up = draw(turned, 200, 280, "LLLLLLLL");
  expectWithin(up, 200, 280 - column.cx, 200 + column.cy, 280);
  EXPECT_GT(up.bottom - up.top, 3 * (up.right - up.left));  // a column, not a row
}

TEST_F(TextRendering, DecorationsAndBackgroundsSpanTheCell) {
  LogFont record = makeFont("Courier New", 40);
  record.lfUnderline = 1;
  FaxDevice& underlined = device(record);
  TextSize size = measure(underlined, "    ");
  const InkBounds under = draw(underlined, 50, 20, "    ");  // spaces: only the line is ink
  expectWithin(under, 50, 20 + size.cy / 2 + 1, 50 + size.cx, 20 + size.cy);
  EXPECT_EQ(under.right - under.left, size.cx);

  record.lfUnderline = 0;
  record.lfStrikeOut = 1;
  const InkBounds strike = draw(device(record), 50, 20, "    ");
  EXPECT_EQ(strike.left, 50);
  EXPECT_GT(strike.top, 20 + size.cy / 4);
  EXPECT_LT(strike.bottom, under.top);

  // An opaque background clears the cell, a transparent one keeps what is there.
  FaxDevice& on = device(makeFont("Courier New", 40));
  size = measure(on, "  ");
  PageRaster& raster = const_cast<PageRaster&>(on.raster());
  raster.fillRect(0, 0, 400, 100, true);
  on.setBkMode(kOpaque);
  draw(on, 10, 10, "  ");
  EXPECT_FALSE(raster.pixel(10, 10) || raster.pixel(10 + size.cx - 1, 10 + size.cy - 1));
  // Just outside the cell.
  EXPECT_TRUE(raster.pixel(10 + size.cx, 10) && raster.pixel(9, 10) && raster.pixel(10, 9));
  EXPECT_EQ(on.setBkMode(kTransparent), kOpaque);
  draw(on, 200, 10, "  ");
  EXPECT_TRUE(raster.pixel(200, 10) && raster.pixel(200 + size.cx - 1, 10 + size.cy - 1));
}

TEST_F(TextRendering, TextCrossingThePageEdgesIsClipped) {
  FaxDevice& on = device(makeFont("Courier New", -40));
  // The underscore fills its whole cell, so ink reaches the left edge whatever the hinting.
  draw(on, -15, -20, "_MMM");
  draw(on, kFaxLineDots - 10, on.raster().height() - 30, "MMMM");
  draw(on, -100000, 100000, "MMMM");
  const InkBounds ink = draw(on, 1 << 30, -(1 << 30), "MMMM");
  EXPECT_EQ(ink.left + ink.top, 0);
  EXPECT_EQ(ink.right, kFaxLineDots);
}

TEST_F(TextRendering, BoldAndMissingFacesAreSynthesised) {
  const int regular = draw(device(makeFont("Courier New", -40)), 0, 0, "Hello").pixels;
  EXPECT_GT(draw(device(makeFont("Courier New", -40, 700)), 0, 0, "Hello").pixels, regular * 5 / 4);

  // This family has a single upright, regular face.
  LogFont record = makeFont("DejaVu Math TeX Gyre", -60);
  const auto plain = matchFont(record);
  if (!plain || plain->file.find("DejaVuMath") == std::string::npos) GTEST_SKIP() << "no font";
  EXPECT_FALSE(plain->syntheticBold || plain->syntheticOblique);
  record.lfItalic = 1;
  record.lfWeight = 700;
  const auto styled = matchFont(record);
  EXPECT_TRUE(styled && styled->syntheticOblique && styled->syntheticBold);

  // A vertical bar leans to the right: its top starts further right than its foot.
  auto lean = [&](FaxDevice& on) {
    const InkBounds ink = draw(on, 0, 0, "|");
    auto leftmost = [&](int y) {
      int x = 0;
      while (x < kFaxLineDots && !on.raster().pixel(x, y)) ++x;
      return x;
    };
    return leftmost(ink.top) - leftmost(ink.bottom - 1);
  };
  EXPECT_LE(std::abs(lean(device(makeFont("DejaVu Math TeX Gyre", -60)))), 1);
  EXPECT_GE(lean(device(record)), 6);
}

TEST_F(TextRendering, HighBytesAreDrawnFromTheRecordsCodePage) {
  LogFont cyrillic = makeFont("Courier New", -40);
  cyrillic.lfCharSet = 204;
  const InkBounds tse = draw(device(cyrillic), 0, 0, "\xD6");
  const InkBounds oUmlaut = draw(device(makeFont("Courier New", -40)), 0, 0, "\xD6");
  // TSE has a descender, O-umlaut does not.
  EXPECT_TRUE(oUmlaut.pixels > 0 && tse.bottom > oUmlaut.bottom);
}

// Faces that are not installed stand in with a face of the same kind, which the device names.
TEST(FontMapping, MissingFacesStandInWithTheirKind) {
  // The face and the pitch and family asked for; a pattern of the file that stands in.
  const std::tuple<const char*, uint8_t, const char*> cases[] = {
      {"Courier New", 0, "LiberationMono|Cousine"},  // metric-compatible
      {"", 0x01, "Mono"},                            // FIXED_PITCH
      {"No Such Font Anywhere", 0x10, "Serif"},      // FF_ROMAN
      {"Liberaton Mono", 0, "Mono"},                 // fixed-pitch by its name
  };
  for (const auto& [face, pitchAndFamily, file] : cases) {
    LogFont record = makeFont(face, 20);
    record.lfPitchAndFamily = pitchAndFamily;
    const auto match = matchFont(record);
    ASSERT_TRUE(match) << face;
    EXPECT_TRUE(std::regex_search(match->file, std::regex(file))) << face << ": " << match->file;
    char family[64] = "";
    ASSERT_EQ(pwFaxDeviceFontFamily(&record, family, sizeof family), 1);
    EXPECT_TRUE(family == match->family && *family);
  }
}

}  // namespace
}  // namespace pw
