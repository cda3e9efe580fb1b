#include "surface/gdi_surface_win32.h"

namespace pw {

#if defined(__i386__) || defined(_M_IX86)
// The document record a 32-bit module hands to StartDocA.
static_assert(sizeof(DOCINFOA) == 20);
#endif

int GdiSurface::getDeviceCaps(int index) {
  return GetDeviceCaps(dc_, index);
}

FontHandle GdiSurface::createFont(const LogFont& font) {
  return CreateFontIndirectA(&font);
}

FontHandle GdiSurface::selectFont(FontHandle font) {
  return SelectObject(dc_, static_cast<HGDIOBJ>(font));
}

void GdiSurface::deleteFont(FontHandle font) {
  DeleteObject(static_cast<HGDIOBJ>(font));
}

int GdiSurface::startDoc(const char* docName) {
  DOCINFOA info{};
  info.cbSize = sizeof info;
  info.lpszDocName = docName;
  return StartDocA(dc_, &info);
}

int GdiSurface::startPage() {
  return StartPage(dc_);
}

int GdiSurface::endPage() {
  return EndPage(dc_);
}

int GdiSurface::endDoc() {
  return EndDoc(dc_);
}

bool GdiSurface::getTextExtent(const char* text, int count, TextSize* size) {
  SIZE extent{};
  if (!GetTextExtentPoint32A(dc_, text, count, &extent)) return false;
  size->cx = extent.cx;
  size->cy = extent.cy;
  return true;
}

bool GdiSurface::textOut(int x, int y, const char* text, int count) {
  return TextOutA(dc_, x, y, text, count) != FALSE;
}

int GdiSurface::setBkMode(int mode) {
  return SetBkMode(dc_, mode);
}

int GdiSurface::setDIBitsToDevice(int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                                  uint32_t startScan, uint32_t scanLines, const void* bits,
                                  const BitmapInfoHeader* bitmapInfo, uint32_t colorUse) {
  // The converter passes a BITMAPINFOHEADER followed by its colour table: a BITMAPINFO.
  return SetDIBitsToDevice(dc_, x, y, width, height, srcX, srcY, startScan, scanLines, bits,
                           reinterpret_cast<const BITMAPINFO*>(bitmapInfo), colorUse);
}

}  // namespace pw
