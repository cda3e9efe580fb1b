// The drawing surface on Windows: the host's device context through GDI.
#pragma once

#include <windows.h>

#include "surface/drawing_surface.h"

namespace pw {

/// Draws on a device context that belongs to the host: it is never reset, released or given a
/// different mapping mode or text alignment, so that the default ones (pixels, top-left origin,
/// reference point at the top left of the text cell) hold.
class GdiSurface final : public DrawingSurface {
 public:
  explicit GdiSurface(HDC dc) : dc_(dc) {}

  int getDeviceCaps(int index) override;
  FontHandle createFont(const LogFont& font) override;
  FontHandle selectFont(FontHandle font) override;
  void deleteFont(FontHandle font) override;
  /// StartDocA with a DOCINFOA that names the document and nothing else.
  int startDoc(const char* docName) override;
  int startPage() override;
  int endPage() override;
  int endDoc() override;
  [[nodiscard]] bool getTextExtent(const char* text, int count, TextSize* size) override;
  bool textOut(int x, int y, const char* text, int count) override;
  int setBkMode(int mode) override;
  int setDIBitsToDevice(int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                        uint32_t startScan, uint32_t scanLines, const void* bits,
                        const BitmapInfoHeader* bitmapInfo, uint32_t colorUse) override;

 private:
  const HDC dc_;
};

}  // namespace pw
