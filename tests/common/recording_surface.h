// A drawing surface for tests: logs every call with its arguments and measures text with fixed
// metrics (every character kCharWidth wide, kCellHeight high).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/last_error.h"
#include "surface/drawing_surface.h"

namespace pw::testing {

class RecordingSurface : public DrawingSurface {
 public:
  static constexpr int kCharWidth = 10;
  static constexpr int kCellHeight = 20;

  // Failure injection: the operation fails with the given last-error value.
  int failCreateFontAt = 0;         // the n-th createFont (1-based) fails, with 8; 0 = never
  bool failStartDoc = false;        // with 5
  bool failMeasureNewline = false;  // with 6
  bool failSetDIBits = false;
  uint32_t setDIBitsError = 0;

  /// Every call, one line each, e.g. "textOut 101,77 Hello".
  std::vector<std::string> calls;
  /// The fonts created, in order.
  std::vector<LogFont> fonts;

  /// Only the lines whose operation is one of ops (space-separated names), in order.
  std::vector<std::string> only(const std::string& ops) const;
  /// The texts of the textOut calls, in order.
  std::vector<std::string> texts() const;
  /// The textOut ("x,y text") and setDIBitsToDevice calls, one a line.
  std::string drawing() const;
  int count(const std::string& op) const { return static_cast<int>(only(op).size()); }
  /// Fonts created and not yet deleted, excluding the stock font.
  int liveFonts() const { return static_cast<int>(live_.size()); }
  FontHandle selected() const { return selected_; }
  static FontHandle stockFont() { return reinterpret_cast<FontHandle>(0x5700C); }

  int getDeviceCaps(int index) override { return index == kLogPixelsX ? 204 : 196; }
  FontHandle createFont(const LogFont& font) override;
  FontHandle selectFont(FontHandle font) override {
    return log("selectFont " + number(font)), std::exchange(selected_, font);
  }
  void deleteFont(FontHandle font) override {
    log("deleteFont " + number(font));
    live_.erase(std::remove(live_.begin(), live_.end(), font), live_.end());
  }
  int startDoc(const char* docName) override {
    log(std::string("startDoc ") + docName);
    return failStartDoc ? (setLastError(5), 0) : 1;  // 1: the smallest job id that succeeds
  }
  int startPage() override { return log("startPage"), 1; }
  int endPage() override { return log("endPage"), 1; }
  int endDoc() override { return log("endDoc"), 1; }
  bool getTextExtent(const char* text, int count, TextSize* size) override {
    if (failMeasureNewline && count == 1 && text[0] == '\n') return setLastError(6), false;
    return *size = {count * kCharWidth, kCellHeight}, true;
  }
  bool textOut(int x, int y, const char* text, int count) override {
    return log("textOut " + std::to_string(x) + "," + std::to_string(y) + " " +
               std::string(text, count)),
           true;
  }
  int setBkMode(int mode) override {
    return log("setBkMode " + std::to_string(mode)), std::exchange(bkMode_, mode);
  }
  int setDIBitsToDevice(int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                        uint32_t startScan, uint32_t scanLines, const void* bits,
                        const BitmapInfoHeader* bitmapInfo, uint32_t colorUse) override;

 private:
  void log(std::string line) { calls.push_back(std::move(line)); }
  static std::string number(FontHandle font) {
    return std::to_string(reinterpret_cast<uintptr_t>(font));
  }

  std::vector<FontHandle> live_;
  FontHandle selected_ = stockFont();
  uintptr_t nextFont_ = 1;
  int bkMode_ = 2;
};

}  // namespace pw::testing
