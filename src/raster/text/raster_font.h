// A font record realised at device resolution: metrics and a per-byte cache of 1-bit glyphs.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "raster/text/code_page.h"
#include "raster/text/face_cache.h"
#include "raster/text/font_matcher.h"
#include "surface/drawing_surface.h"

namespace pw {

/// A rendered glyph, already turned for rotated fonts. Offsets place the bitmap's top-left
/// corner relative to the pen on the baseline, in device pixels.
struct Glyph {
  int offsetX = 0;
  int offsetY = 0;
  int width = 0;
  int height = 0;
  int advance = 0;  ///< along the text direction
  size_t pitch = 0;
  std::vector<uint8_t> bits;   ///< height rows of pitch bytes, each with a padding byte
  std::vector<uint64_t> rows;  ///< the same rows aligned to bit 63, when width <= 56
};

/// A horizontal band of the unrotated cell, as rows below the cell's top.
struct CellBand {
  int top = 0;
  int thickness = 0;
};

/// Font metrics follow the Win32 mapper: a positive lfHeight is the cell height (ascent plus
/// descent from the OS/2 Windows metrics), a negative one the em height; a nonzero lfWidth sets
/// the average character width, zero keeps the design's proportions on the device's aspect.
class RasterFont {
 public:
  ~RasterFont();
  RasterFont(const RasterFont&) = delete;
  RasterFont& operator=(const RasterFont&) = delete;

  /// Realises the record on a device of dpiX x dpiY dots per inch; null with last error 2 (no
  /// font installed or loadable) or 87 (a size FreeType rejects).
  static std::unique_ptr<RasterFont> create(FaceCache& faces, const LogFont& record, int dpiX,
                                            int dpiY);

  /// The glyph of a byte of the record's code page; rendered on first use, then a table lookup.
  const Glyph& glyph(uint8_t byte) {
    const std::unique_ptr<Glyph>& cached = glyphs_[byte];
    return cached ? *cached : render(byte);
  }

  int cellHeight() const { return cellHeight_; }
  int ascent() const { return ascent_; }
  bool rotated() const { return rotated_; }
  bool underline() const { return underline_; }
  bool strikeOut() const { return strikeOut_; }
  CellBand underlineBand() const { return underlineBand_; }
  CellBand strikeOutBand() const { return strikeOutBand_; }

 private:
  RasterFont() = default;
  const Glyph& render(uint8_t byte);

  FT_Face face_ = nullptr;
  FT_Size size_ = nullptr;
  const CodePageTable* codePage_ = nullptr;
  int cellHeight_ = 0;
  int ascent_ = 0;
  int emboldenPixels_ = 0;
  bool obliqueShear_ = false;
  bool rotated_ = false;
  bool underline_ = false;
  bool strikeOut_ = false;
  CellBand underlineBand_;
  CellBand strikeOutBand_;
  std::array<std::unique_ptr<Glyph>, 256> glyphs_;
};

}  // namespace pw
