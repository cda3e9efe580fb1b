// Text on the fax raster: placement against the measured cell, rotation, decorations, fonts.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/temp_dir.h"
#include "device_test_util.h"
#include "pagewright/fax_device.h"
#include "platform/last_error.h"
#include "raster/text/font_matcher.h"

namespace pw {
namespace {

using testing::inkBounds;
using testing::makeDevice;
using testing::makeFont;
using testing::useFont;

class TextRendering : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = makeDevice(dir_.file("out.tif"));
    ASSERT_TRUE(device_);
  }

  TextSize measure(const char* text) {
    TextSize size;
    EXPECT_TRUE(device_->getTextExtent(text, static_cast<int>(std::strlen(text)), &size));
    return size;
  }

  void draw(int x, int y, const char* text) {
    ASSERT_TRUE(device_->textOut(x, y, text, static_cast<int>(std::strlen(text))));
  }

  pw::testing::TempDir dir_;
  std::unique_ptr<FaxDevice> device_;
};

TEST_F(TextRendering, InkStaysInsideTheMeasuredCell) {
  ASSERT_TRUE(useFont(*device_, makeFont("Courier New", -40)));
  const TextSize size = measure("Hxgj|Q_");
  draw(100, 60, "Hxgj|Q_");
  const auto ink = inkBounds(device_->raster());
  ASSERT_GT(ink.pixels, 0);
  EXPECT_GE(ink.left, 100);
  EXPECT_LE(ink.right, 100 + size.cx);
  EXPECT_GE(ink.top, 60);
  EXPECT_LE(ink.bottom, 60 + size.cy);
  // The descenders reach well below the middle of the cell and the capitals near its top.
  EXPECT_GT(ink.bottom, 60 + size.cy * 3 / 4);
  EXPECT_LT(ink.top, 60 + size.cy / 4);
}

TEST_F(TextRendering, PositiveHeightIsTheCellAndNegativeTheEm) {
  ASSERT_TRUE(useFont(*device_, makeFont("Courier New", 40)));
  EXPECT_EQ(measure("A").cy, 40);
  ASSERT_TRUE(useFont(*device_, makeFont("Courier New", -40)));
  EXPECT_GT(measure("A").cy, 40);  // the cell holds ascent and descent beyond the em
}

TEST_F(TextRendering, MonospaceWidthIsTheSumOfEqualAdvances) {
  ASSERT_TRUE(useFont(*device_, makeFont("Courier New", -30)));
  const TextSize one = measure("W");
  EXPECT_EQ(measure("iiii").cx, 4 * one.cx);
  EXPECT_EQ(measure("").cx, 0);
}

TEST_F(TextRendering, NonzeroWidthSetsTheAverageCharacterWidth) {
  LogFont record = makeFont("Courier New", -40);
  record.lfWidth = 15;
  ASSERT_TRUE(useFont(*device_, record));
  const int width = measure("0123456789").cx;
  EXPECT_GE(width, 140);
  EXPECT_LE(width, 160);
}

TEST_F(TextRendering, NormalResolutionKeepsProportions) {
  const LogFont record = makeFont("Courier New", -40);
  ASSERT_TRUE(useFont(*device_, record));
  const int fineWidth = measure("ABCDEFGHIJ").cx;
  auto normal = makeDevice(dir_.file("normal.tif"), OutputFormat::kTiff, /*fine=*/false);
  ASSERT_TRUE(useFont(*normal, record));
  TextSize size;
  ASSERT_TRUE(normal->getTextExtent("ABCDEFGHIJ", 10, &size));
  // Half the lines per inch: the same em height in lines covers twice the paper, so glyphs
  // are twice as wide in dots.
  EXPECT_NEAR(static_cast<double>(size.cx) / fineWidth, 2.0, 0.15);
}

TEST_F(TextRendering, CommandFontKeepsItsColumnsAtBothResolutions) {
  // Liberation Mono 10 pt: the advances every layout of the command depends on. Glyph images may
  // be hinted differently; these must not move.
  ASSERT_TRUE(useFont(*device_, makeFont("Liberation Mono", 27)));
  EXPECT_EQ(measure("0123456789").cx, 150);
  auto normal = makeDevice(dir_.file("normal.tif"), OutputFormat::kTiff, /*fine=*/false);
  ASSERT_TRUE(useFont(*normal, makeFont("Liberation Mono", 14)));
  TextSize size;
  ASSERT_TRUE(normal->getTextExtent("0123456789", 10, &size));
  EXPECT_EQ(size.cx, 160);
}

TEST_F(TextRendering, FullStopKeepsItsSizeAtNormalResolution) {
  // The command's default: Liberation Mono 10 pt, a 14-line cell at 98 lines per inch. Full
  // hinting for a monochrome target shrank the stop to 2 x 2 dots, which OCR missed.
  auto normal = makeDevice(dir_.file("normal.tif"), OutputFormat::kTiff, /*fine=*/false);
  ASSERT_TRUE(useFont(*normal, makeFont("Liberation Mono", 14)));
  ASSERT_TRUE(normal->textOut(20, 10, ".", 1));
  const auto ink = inkBounds(normal->raster());
  EXPECT_GE(ink.right - ink.left, 3);
  EXPECT_GE(ink.bottom - ink.top, 2);
}

TEST_F(TextRendering, RotatedTextRunsUpwardsFromItsReferencePoint) {
  LogFont record = makeFont("Courier New", -30);
  record.lfEscapement = 900;
  ASSERT_TRUE(useFont(*device_, record));
  const TextSize size = measure("LLLLLLLL");
  draw(200, 280, "LLLLLLLL");
  const auto ink = inkBounds(device_->raster());
  ASSERT_GT(ink.pixels, 0);
  EXPECT_GE(ink.left, 200);
  EXPECT_LE(ink.right, 200 + size.cy);
  EXPECT_GE(ink.top, 280 - size.cx);
  EXPECT_LE(ink.bottom, 280);
  EXPECT_GT(ink.bottom - ink.top, 3 * (ink.right - ink.left));  // a column, not a row

  // The first character sits at the reference point, the rest above it.
  device_->startDoc("x");
  device_->startPage();
  draw(200, 280, "L");
  const auto first = inkBounds(device_->raster());
  EXPECT_GT(first.top, 280 - size.cx / 8 - 1);
  EXPECT_LE(first.bottom, 280);
  // "L" turned a quarter counter-clockwise has its foot on the side of the text's top.
  const int footColumn = first.left;
  int footLength = 0;
  for (int y = first.top; y < first.bottom; ++y)
    footLength += device_->raster().pixel(footColumn, y);
  EXPECT_LE(footLength, (first.bottom - first.top) / 2 + 2);
  EXPECT_EQ(device_->endDoc(), 1);
}

TEST_F(TextRendering, UnderlineAndStrikeOutSpanTheTextInsideTheCell) {
  LogFont record = makeFont("Courier New", 40);
  record.lfUnderline = 1;
  ASSERT_TRUE(useFont(*device_, record));
  const TextSize size = measure("    ");
  draw(50, 20, "    ");  // spaces: only the underline is ink
  const auto ink = inkBounds(device_->raster());
  ASSERT_GT(ink.pixels, 0);
  EXPECT_EQ(ink.left, 50);
  EXPECT_EQ(ink.right, 50 + size.cx);
  EXPECT_GT(ink.top, 20 + size.cy / 2);
  EXPECT_LE(ink.bottom, 20 + size.cy);

  LogFont struck = makeFont("Courier New", 40);
  struck.lfStrikeOut = 1;
  auto other = makeDevice(dir_.file("s.tif"));
  ASSERT_TRUE(useFont(*other, struck));
  ASSERT_TRUE(other->textOut(50, 20, "    ", 4));
  const auto strike = inkBounds(other->raster());
  ASSERT_GT(strike.pixels, 0);
  EXPECT_GT(strike.top, 20 + size.cy / 4);
  EXPECT_LT(strike.bottom, ink.top);
}

TEST_F(TextRendering, OpaqueBackgroundClearsTheCellAndTransparentKeepsIt) {
  ASSERT_TRUE(useFont(*device_, makeFont("Courier New", 40)));
  const TextSize size = measure("  ");
  device_->setBkMode(kOpaque);
  // Blacken an area, then draw spaces over part of it.
  PageRaster& raster = const_cast<PageRaster&>(device_->raster());
  raster.fillRect(0, 0, 400, 100, true);
  draw(10, 10, "  ");
  EXPECT_FALSE(raster.pixel(10, 10));
  EXPECT_FALSE(raster.pixel(10 + size.cx - 1, 10 + size.cy - 1));
  EXPECT_TRUE(raster.pixel(10 + size.cx, 10));  // just outside the cell
  EXPECT_TRUE(raster.pixel(9, 10));

  EXPECT_EQ(device_->setBkMode(kTransparent), kOpaque);
  draw(200, 10, "  ");
  EXPECT_TRUE(raster.pixel(200, 10));
  EXPECT_TRUE(raster.pixel(200 + size.cx - 1, 10 + size.cy - 1));
}

TEST_F(TextRendering, TextCrossingThePageEdgesIsClipped) {
  ASSERT_TRUE(useFont(*device_, makeFont("Courier New", -40)));
  const PageRaster& raster = device_->raster();
  // The underscore fills its whole cell, so ink reaches the left edge whatever the hinting.
  draw(-15, -20, "_MMM");
  draw(kFaxLineDots - 10, raster.height() - 30, "MMMM");
  draw(-100000, 100000, "MMMM");
  draw(1 << 30, -(1 << 30), "MMMM");
  const auto ink = inkBounds(raster);
  ASSERT_GT(ink.pixels, 0);
  EXPECT_EQ(ink.left, 0);
  EXPECT_EQ(ink.top, 0);
  EXPECT_EQ(ink.right, kFaxLineDots);
}

TEST_F(TextRendering, BoldAndItalicChangeTheInk) {
  ASSERT_TRUE(useFont(*device_, makeFont("Courier New", -40)));
  draw(0, 0, "Hello");
  const int regular = inkBounds(device_->raster()).pixels;

  auto bold = makeDevice(dir_.file("b.tif"));
  ASSERT_TRUE(useFont(*bold, makeFont("Courier New", -40, 700)));
  ASSERT_TRUE(bold->textOut(0, 0, "Hello", 5));
  EXPECT_GT(inkBounds(bold->raster()).pixels, regular * 5 / 4);
}

TEST_F(TextRendering, MissingFacesAreSynthesised) {
  // This family has a single upright, regular face.
  LogFont record = makeFont("DejaVu Math TeX Gyre", -40);
  const auto plain = matchFont(record);
  ASSERT_TRUE(plain);
  if (plain->file.find("DejaVuMath") == std::string::npos) GTEST_SKIP() << "font not installed";
  EXPECT_FALSE(plain->syntheticBold || plain->syntheticOblique);
  record.lfItalic = 1;
  record.lfWeight = 700;
  const auto styled = matchFont(record);
  ASSERT_TRUE(styled);
  EXPECT_TRUE(styled->syntheticOblique);
  EXPECT_TRUE(styled->syntheticBold);

  // A vertical bar leans to the right: its top starts further right than its foot.
  auto lean = [](const PageRaster& raster) {
    const auto ink = inkBounds(raster);
    auto leftmost = [&](int y) {
      int x = 0;
      while (x < raster.width() && !raster.pixel(x, y)) ++x;
      return x;
    };
    return leftmost(ink.top) - leftmost(ink.bottom - 1);
  };
  ASSERT_TRUE(useFont(*device_, makeFont("DejaVu Math TeX Gyre", -60)));
  draw(0, 0, "|");
  EXPECT_LE(std::abs(lean(device_->raster())), 1);
  auto slanted = makeDevice(dir_.file("i.tif"));
  ASSERT_TRUE(useFont(*slanted, record));
  ASSERT_TRUE(slanted->textOut(0, 0, "|", 1));
  EXPECT_GE(lean(slanted->raster()), 6);
}

TEST_F(TextRendering, StockFontIsSelectedAtFirstAndNeverDeleted) {
  FontHandle font = device_->createFont(makeFont("Courier New", 30));
  ASSERT_TRUE(font);
  FontHandle stock = device_->selectFont(font);
  ASSERT_TRUE(stock);
  EXPECT_EQ(device_->selectFont(stock), font);
  device_->deleteFont(font);
  device_->deleteFont(stock);
  draw(0, 0, "text");  // drawn in the stock font
  EXPECT_GT(inkBounds(device_->raster()).pixels, 0);
  EXPECT_EQ(device_->selectFont(font), nullptr);  // deleted handles are refused
  EXPECT_EQ(lastError(), kErrorInvalidHandle);
}

TEST(FontMapping, CourierNewMapsToAMetricCompatibleFace) {
  const auto match = matchFont(testing::makeFont("Courier New", 20));
  ASSERT_TRUE(match);
  // Liberation Mono, or Cousine where the Chrome OS core fonts are installed too.
  EXPECT_TRUE(match->file.find("LiberationMono") != std::string::npos ||
              match->file.find("Cousine") != std::string::npos)
      << match->file;
}

TEST(FontMapping, EmptyFaceFollowsPitchAndFamily) {
  LogFont record = testing::makeFont("", 20);
  record.lfPitchAndFamily = 0x01;  // FIXED_PITCH
  auto match = matchFont(record);
  ASSERT_TRUE(match);
  EXPECT_NE(match->file.find("Mono"), std::string::npos) << match->file;

  record = testing::makeFont("No Such Font Anywhere", 20);
  record.lfPitchAndFamily = 0x10;  // FF_ROMAN
  match = matchFont(record);
  ASSERT_TRUE(match);
  EXPECT_NE(match->file.find("Serif"), std::string::npos) << match->file;

  // A face whose name marks it fixed-pitch stands in with a fixed-pitch one, and says which.
  record = testing::makeFont("Liberaton Mono", 20);
  match = matchFont(record);
  ASSERT_TRUE(match);
  EXPECT_NE(match->file.find("Mono"), std::string::npos) << match->file;
  char family[64] = "";
  ASSERT_EQ(pwFaxDeviceFontFamily(&record, family, sizeof family), 1);
  EXPECT_EQ(family, match->family);
  EXPECT_STRNE(family, "");
}

TEST_F(TextRendering, HighBytesAreDrawnFromTheRecordsCodePage) {
  LogFont cyrillic = makeFont("Courier New", -40);
  cyrillic.lfCharSet = 204;
  ASSERT_TRUE(useFont(*device_, cyrillic));
  draw(0, 0, "\xD6");  // Cyrillic TSE
  auto latin = makeDevice(dir_.file("l.tif"));
  ASSERT_TRUE(useFont(*latin, makeFont("Courier New", -40)));
  ASSERT_TRUE(latin->textOut(0, 0, "\xD6", 1));  // O with diaeresis
  const auto a = inkBounds(device_->raster());
  const auto b = inkBounds(latin->raster());
  ASSERT_GT(a.pixels, 0);
  ASSERT_GT(b.pixels, 0);
  EXPECT_GT(a.bottom, b.bottom);  // TSE has a descender, O-umlaut does not
}

}  // namespace
}  // namespace pw
