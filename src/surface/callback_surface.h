// A drawing surface whose operations are a host's C callbacks.
#pragma once

#include "surface/drawing_surface.h"

namespace pw {

class CallbackSurface final : public DrawingSurface {
 public:
  CallbackSurface(const PwSurfaceOps& ops, void* user) : ops_(ops), user_(user) {}

  int getDeviceCaps(int index) override { return ops_.getDeviceCaps(user_, index); }
  FontHandle createFont(const LogFont& font) override { return ops_.createFont(user_, &font); }
  FontHandle selectFont(FontHandle font) override { return ops_.selectFont(user_, font); }
  void deleteFont(FontHandle font) override { ops_.deleteFont(user_, font); }
  int startDoc(const char* docName) override { return ops_.startDoc(user_, docName); }
  int startPage() override { return ops_.startPage(user_); }
  int endPage() override { return ops_.endPage(user_); }
  int endDoc() override { return ops_.endDoc(user_); }
  bool getTextExtent(const char* text, int count, TextSize* size) override {
    return ops_.getTextExtent(user_, text, count, &size->cx, &size->cy) != 0;
  }
  bool textOut(int x, int y, const char* text, int count) override {
    return ops_.textOut(user_, x, y, text, count) != 0;
  }
  int setBkMode(int mode) override { return ops_.setBkMode(user_, mode); }
  int setDIBitsToDevice(int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                        uint32_t startScan, uint32_t scanLines, const void* bits,
                        const BitmapInfoHeader* bitmapInfo, uint32_t colorUse) override {
    return ops_.setDIBitsToDevice(user_, x, y, width, height, srcX, srcY, startScan, scanLines,
                                  bits, bitmapInfo, colorUse);
  }

  /// True when every operation is present.
  static bool complete(const PwSurfaceOps& ops);

 private:
  PwSurfaceOps ops_;
  void* user_;
};

}  // namespace pw
