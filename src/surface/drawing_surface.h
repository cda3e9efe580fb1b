// The drawing operations the converter performs, with the meaning of their GDI namesakes.
#pragma once

#include <cstdint>

#include "pagewright/pagewright.h"

namespace pw {

using LogFont = PwLogFont;
using FontHandle = void*;

// getDeviceCaps indices.
inline constexpr int kLogPixelsX = 88;
inline constexpr int kLogPixelsY = 90;

// setBkMode modes.
inline constexpr int kTransparent = 1;
inline constexpr int kOpaque = 2;

#ifdef _WIN32
using BitmapInfoHeader = BITMAPINFOHEADER;
#else
using BitmapInfoHeader = PwBitmapInfoHeader;
#endif

struct TextSize {
  int32_t cx = 0;
  int32_t cy = 0;
};

/// A page device in pixels: origin top left, y downwards, text drawn with its reference point at
/// the top left of its cell (rotated about it for an escapement of 900). Failing operations leave
/// a Win32 error code as the thread's last-error value.
class DrawingSurface {
 public:
  virtual ~DrawingSurface() = default;

  virtual int getDeviceCaps(int index) = 0;
  /// A font for the record (height and width already in device pixels); null on failure.
  virtual FontHandle createFont(const LogFont& font) = 0;
  /// Makes font current and returns the one it replaces.
  virtual FontHandle selectFont(FontHandle font) = 0;
  virtual void deleteFont(FontHandle font) = 0;
  /// A job number; below 1 on failure.
  virtual int startDoc(const char* docName) = 0;
  virtual int startPage() = 0;
  virtual int endPage() = 0;
  virtual int endDoc() = 0;
  [[nodiscard]] virtual bool getTextExtent(const char* text, int count, TextSize* size) = 0;
  virtual bool textOut(int x, int y, const char* text, int count) = 0;
  /// Returns the previous mode.
  virtual int setBkMode(int mode) = 0;
  /// Copies a device-independent bitmap; returns the scan lines drawn, 0 on failure.
  virtual int setDIBitsToDevice(int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                                uint32_t startScan, uint32_t scanLines, const void* bits,
                                const BitmapInfoHeader* bitmapInfo, uint32_t colorUse) = 0;
};

}  // namespace pw
