#include "raster/text/raster_font.h"

#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include FT_SIZES_H

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/last_error.h"

namespace pw {

namespace {

// Larger requests are clamped: a glyph taller than a page has no use on a fax.
constexpr double kMaxEmPixels = 4096;
constexpr double kDefaultPoints = 12;  // lfHeight 0 asks for the mapper's default size
constexpr int kNarrowGlyphBits = 56;
// Outlines are hinted vertically only (FreeType's light mode). Full hinting for a monochrome
// target narrows stems and full stops until OCR of a normal-resolution page reads "D" as "b" and
// loses the stops; light hinting keeps the designed widths and still snaps heights to whole
// lines. It reads better at both resolutions (bench/README.md, "Legibility").
constexpr FT_Int32 kOutlineHinting = FT_LOAD_TARGET_LIGHT;
// The slant FreeType's own oblique synthesis uses, about 12 degrees.
constexpr FT_Fixed kObliqueShear = 0x0366A;

bool pixelAt(const FT_Bitmap& bitmap, int x, int y) {
  const unsigned char* row =
      bitmap.pitch >= 0
          ? bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch
          : bitmap.buffer + static_cast<ptrdiff_t>(bitmap.rows - 1 - y) * -bitmap.pitch;
  if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) return (row[x >> 3] >> (7 - (x & 7))) & 1;
  return row[x] >= 128;  // an embedded grey bitmap: threshold it
}

// Packs a glyph from a pixel predicate into the cached layouts.
template <typename Pixel>
void storeBits(Glyph& glyph, Pixel pixel) {
  glyph.pitch = static_cast<size_t>(glyph.width + 7) / 8 + 1;
  glyph.bits.assign(glyph.pitch * static_cast<size_t>(glyph.height), 0);
  const bool narrow = glyph.width <= kNarrowGlyphBits;
  if (narrow) glyph.rows.assign(static_cast<size_t>(glyph.height), 0);
  for (int y = 0; y < glyph.height; ++y) {
    uint8_t* row = glyph.bits.data() + static_cast<size_t>(y) * glyph.pitch;
    for (int x = 0; x < glyph.width; ++x) {
      if (!pixel(x, y)) continue;
      row[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
      if (narrow) glyph.rows[static_cast<size_t>(y)] |= uint64_t{1} << (63 - x);
    }
  }
}

}  // namespace

RasterFont::~RasterFont() {
  if (size_) FT_Done_Size(size_);
}

std::unique_ptr<RasterFont> RasterFont::create(FaceCache& faces, const LogFont& record, int dpiX,
                                               int dpiY) {
  const std::optional<FontMatch> match = matchFont(record);
  if (!match) {
    return failNull(kErrorFileNotFound);
  }
  FT_Face face = faces.face(match->file, match->index);
  if (!face || face->units_per_EM == 0) {
    return failNull(kErrorFileNotFound);
  }
  std::unique_ptr<RasterFont> font(new RasterFont);
  font->face_ = face;
  if (FT_New_Size(face, &font->size_) != 0) {
    return failNull(kErrorNotEnoughMemory);
  }
  FT_Activate_Size(font->size_);

  const double units = face->units_per_EM;
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const bool winMetrics = os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0;
  const double ascender = winMetrics ? os2->usWinAscent : face->ascender;
  const double descender = winMetrics ? os2->usWinDescent : -face->descender;
  const double cellUnits = std::max(ascender + descender, 1.0);

  double emY;
  if (record.lfHeight > 0) {
    emY = record.lfHeight * units / cellUnits;
  } else if (record.lfHeight < 0) {
    emY = -static_cast<double>(record.lfHeight);
  } else {
    emY = kDefaultPoints * dpiY / 72.0;
  }
  emY = std::clamp(emY, 1.0, kMaxEmPixels);
  const double scaleY = emY / units;
  font->ascent_ = static_cast<int>(std::lround(ascender * scaleY));
  font->cellHeight_ = record.lfHeight > 0 && emY < kMaxEmPixels
                          ? record.lfHeight
                          : font->ascent_ + static_cast<int>(std::lround(descender * scaleY));
  font->cellHeight_ = std::max(font->cellHeight_, 1);
  font->ascent_ = std::min(font->ascent_, font->cellHeight_);

  double emX;
  if (record.lfWidth != 0) {
    const double average = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : units / 2;
    emX = std::abs(static_cast<double>(record.lfWidth)) * units / average;
  } else {
    // Keep the design's proportions on the page: the same physical em both ways.
    emX = emY * dpiX / dpiY;
  }
  emX = std::clamp(emX, 1.0, kMaxEmPixels);
  if (FT_Set_Char_Size(face, std::lround(emX * 64), std::lround(emY * 64), 72, 72) != 0) {
    return failNull(kErrorInvalidParameter);
  }

  font->codePage_ = &codePageTable(record.lfCharSet);
  font->rotated_ = ((record.lfEscapement % 3600) + 3600) % 3600 == 900;
  font->underline_ = record.lfUnderline != 0;
  font->strikeOut_ = record.lfStrikeOut != 0;
  font->obliqueShear_ = match->syntheticOblique;
  if (match->syntheticBold) font->emboldenPixels_ = std::max(1, static_cast<int>(emY / 32));

  const int underlineThickness = std::max(
      1, static_cast<int>(std::lround(std::max<int>(face->underline_thickness, 0) * scaleY)));
  const int underlineCentre =
      font->ascent_ - static_cast<int>(std::lround(face->underline_position * scaleY));
  font->underlineBand_.thickness = underlineThickness;
  font->underlineBand_.top = std::clamp(underlineCentre - underlineThickness / 2, 0,
                                        std::max(font->cellHeight_ - underlineThickness, 0));

  const double strikeUnits =
      os2 && os2->yStrikeoutSize > 0 ? os2->yStrikeoutPosition : ascender * 0.3;
  const double strikeSize =
      os2 && os2->yStrikeoutSize > 0 ? os2->yStrikeoutSize : face->underline_thickness;
  font->strikeOutBand_.thickness =
      std::max(1, static_cast<int>(std::lround(std::max(strikeSize, 0.0) * scaleY)));
  font->strikeOutBand_.top =
      std::clamp(font->ascent_ - static_cast<int>(std::lround(strikeUnits * scaleY)), 0,
                 std::max(font->cellHeight_ - font->strikeOutBand_.thickness, 0));
  return font;
}

const Glyph& RasterFont::render(uint8_t byte) {
  auto glyph = std::make_unique<Glyph>();
  FT_Activate_Size(size_);
  const FT_UInt index = FT_Get_Char_Index(face_, (*codePage_)[byte]);
  const bool synthetic = obliqueShear_ || emboldenPixels_ > 0;
  const FT_Int32 bitmaps = synthetic ? FT_LOAD_NO_BITMAP : 0;
  // Advances come from full hinting for a monochrome target, as they always have: text is laid
  // out with them, so every layout keeps its columns and line breaks.
  FT_Fixed advance = 0;
  FT_GlyphSlot slot = face_->glyph;
  if (FT_Get_Advance(face_, index, FT_LOAD_TARGET_MONO | bitmaps, &advance) == 0 &&
      FT_Load_Glyph(face_, index, kOutlineHinting | bitmaps) == 0) {
    glyph->advance = static_cast<int>((advance + 0x8000) >> 16);
    bool ready = true;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (obliqueShear_) {
        FT_Matrix shear{0x10000, kObliqueShear, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
      }
      if (emboldenPixels_ > 0) {
        FT_Outline_EmboldenXY(&slot->outline, emboldenPixels_ * 64, 0);
        glyph->advance += emboldenPixels_;
      }
      ready = FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0;
    }
    const FT_Bitmap& bitmap = slot->bitmap;
    const bool usable = ready && (bitmap.pixel_mode == FT_PIXEL_MODE_MONO ||
                                  bitmap.pixel_mode == FT_PIXEL_MODE_GRAY);
    if (usable && bitmap.width > 0 && bitmap.rows > 0) {
      const int width = static_cast<int>(bitmap.width);
      const int height = static_cast<int>(bitmap.rows);
      if (!rotated_) {
        glyph->width = width;
        glyph->height = height;
        glyph->offsetX = slot->bitmap_left;
        glyph->offsetY = -slot->bitmap_top;
        storeBits(*glyph, [&](int x, int y) { return pixelAt(bitmap, x, y); });
      } else {
        // Turned a quarter counter-clockwise: source column c becomes row width-1-c, source row
        // r becomes column r, and the pen travels up the page.
        glyph->width = height;
        glyph->height = width;
        glyph->offsetX = -slot->bitmap_top;
        glyph->offsetY = -(slot->bitmap_left + width);
        storeBits(*glyph, [&](int x, int y) { return pixelAt(bitmap, width - 1 - y, x); });
      }
    }
  }
  std::unique_ptr<Glyph>& cached = glyphs_[byte];
  cached = std::move(glyph);
  return *cached;
}

}  // namespace pw
