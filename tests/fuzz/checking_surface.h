// A drawing surface for fuzzing that checks the converter's use of it and aborts on the first
// breach: fonts used or deleted that were never created or already deleted, pages outside the
// document or inside each other, drawing outside a page, a conversion that leaves anything open.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "surface/drawing_surface.h"

namespace pw::fuzzing {

class CheckingSurface final : public DrawingSurface {
 public:
  static constexpr int kCharWidth = 7;
  static constexpr int kCellHeight = 13;

  int getDeviceCaps(int index) override { return index == kLogPixelsX ? 204 : 196; }

  FontHandle createFont(const LogFont& font) override {
    require(font.lfFaceName[sizeof font.lfFaceName - 1] == '\0', "face name without its NUL");
    auto handle = reinterpret_cast<FontHandle>(nextFont_++);
    live_.insert(handle);
    return handle;
  }
  FontHandle selectFont(FontHandle font) override {
    require(font == stockFont() || live_.contains(font), "selecting a font never created");
    FontHandle previous = selected_;
    selected_ = font;
    return previous;
  }
  void deleteFont(FontHandle font) override {
    require(live_.contains(font), "deleting a font never created or already deleted");
    require(font != selected_, "deleting the selected font");
    live_.erase(font);
  }
  int startDoc(const char* docName) override {
    require(!inDoc_, "startDoc inside a document");
    require(docName != nullptr, "startDoc without a name");
    require(++documents_ == 1, "a second document in one conversion");
    inDoc_ = true;
    return 1;
  }
  int startPage() override {
    require(inDoc_ && !inPage_, "startPage outside a document or inside a page");
    inPage_ = true;
    return 1;
  }
  int endPage() override {
    require(inPage_, "endPage outside a page");
    inPage_ = false;
    return 1;
  }
  int endDoc() override {
    require(inDoc_ && !inPage_, "endDoc outside a document or inside a page");
    inDoc_ = false;
    return 1;
  }
  bool getTextExtent(const char* text, int count, TextSize* size) override {
    require(inDoc_, "measuring outside the document");
    requireText(text, count);
    size->cx = kCharWidth * count;
    size->cy = kCellHeight;
    return true;
  }
  bool textOut(int, int, const char* text, int count) override {
    require(inPage_, "textOut outside a page");
    requireText(text, count);
    return true;
  }
  int setBkMode(int mode) override {
    require(inDoc_, "setBkMode outside the document");
    require(mode == kTransparent || mode == kOpaque, "unknown background mode");
    const int previous = bkMode_;
    bkMode_ = mode;
    return previous;
  }
  int setDIBitsToDevice(int, int, uint32_t width, uint32_t height, int, int, uint32_t,
                        uint32_t scanLines, const void* bits, const BitmapInfoHeader* info,
                        uint32_t) override {
    require(inPage_, "setDIBitsToDevice outside a page");
    require(bits && info, "a bitmap without bits or header");
    require(static_cast<uint32_t>(info->biWidth) == width &&
                static_cast<uint32_t>(info->biHeight) == height && scanLines == height,
            "a bitmap drawn with sizes other than its own");
    // Every byte of the pixel array is read, so that the sanitizer sees one too few.
    const uint64_t stride = (uint64_t{width} * info->biBitCount + 31) / 32 * 4;
    const auto* bytes = static_cast<const unsigned char*>(bits);
    unsigned sum = 0;
    for (uint64_t i = 0; i < stride * height; ++i) sum += bytes[i];
    checksum_ += sum;
    return static_cast<int>(height);
  }

  /// After the conversion: nothing may be left open or alive, the surface's font selected again.
  void requireFinished() const {
    require(!inDoc_ && !inPage_, "document or page left open");
    require(live_.empty(), "a created font never deleted");
    require(selected_ == stockFont(), "the surface's own font not selected again");
  }

  static FontHandle stockFont() { return reinterpret_cast<FontHandle>(0x5700C); }

 private:
  static void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "CheckingSurface: %s\n", what);
    std::abort();
  }
  void requireText(const char* text, int count) const {
    require(count >= 0 && (count == 0 || text), "text with a negative count or no characters");
    require(live_.contains(selected_) || selected_ == stockFont(), "drawing with a deleted font");
    unsigned sum = 0;
    for (int i = 0; i < count; ++i) sum += static_cast<unsigned char>(text[i]);
    checksum_ += sum;
  }

  std::set<FontHandle> live_;
  FontHandle selected_ = stockFont();
  uintptr_t nextFont_ = 0x1000;
  bool inDoc_ = false;
  bool inPage_ = false;
  int documents_ = 0;
  int bkMode_ = kOpaque;
  mutable unsigned checksum_ = 0;
};

}  // namespace pw::fuzzing
