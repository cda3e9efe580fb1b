#include "common/recording_surface.h"

#include <algorithm>
#include <sstream>

#include "platform/last_error.h"

namespace pw::testing {

std::vector<std::string> RecordingSurface::only(const std::string& ops) const {
  std::vector<std::string> names;
  std::istringstream in(ops);
  for (std::string name; in >> name;) names.push_back(name);
  std::vector<std::string> out;
  for (const std::string& call : calls) {
    const std::string op = call.substr(0, call.find(' '));
    if (std::find(names.begin(), names.end(), op) != names.end()) out.push_back(call);
  }
  return out;
}

std::vector<std::string> RecordingSurface::texts() const {
  std::vector<std::string> out;
  for (const std::string& call : calls) {
    if (call.rfind("textOut ", 0) == 0) {
      const std::size_t space = call.find(' ', 8);
      out.push_back(call.substr(space + 1));
    }
  }
  return out;
}

int RecordingSurface::count(const std::string& op) const {
  return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
    return c == op || c.rfind(op + " ", 0) == 0;
  }));
}

int RecordingSurface::getDeviceCaps(int index) {
  return index == kLogPixelsX ? dpiX : index == kLogPixelsY ? dpiY : 0;
}

FontHandle RecordingSurface::createFont(const LogFont& font) {
  fonts.push_back(font);
  std::ostringstream line;
  line << "createFont h=" << font.lfHeight << " w=" << font.lfWidth << " weight=" << font.lfWeight
       << " italic=" << int{font.lfItalic} << " underline=" << int{font.lfUnderline}
       << " esc=" << font.lfEscapement;
  if (failCreateFontAt == static_cast<int>(fonts.size())) {
    log(line.str() + " -> null");
    setLastError(createFontError);
    return nullptr;
  }
  FontHandle handle = reinterpret_cast<FontHandle>(nextFont_++);
  live_.push_back(handle);
  log(line.str() + " -> " + std::to_string(reinterpret_cast<uintptr_t>(handle)));
  return handle;
}

FontHandle RecordingSurface::selectFont(FontHandle font) {
  log("selectFont " + std::to_string(reinterpret_cast<uintptr_t>(font)));
  FontHandle previous = selected_;
  selected_ = font;
  return previous;
}

void RecordingSurface::deleteFont(FontHandle font) {
  log("deleteFont " + std::to_string(reinterpret_cast<uintptr_t>(font)));
  live_.erase(std::remove(live_.begin(), live_.end(), font), live_.end());
}

int RecordingSurface::startDoc(const char* docName) {
  log(std::string("startDoc ") + (docName ? docName : "(null)"));
  if (failStartDoc) {
    setLastError(startDocError);
    return 0;
  }
  return 7;
}

int RecordingSurface::startPage() {
  log("startPage");
  return 1;
}

int RecordingSurface::endPage() {
  log("endPage");
  return 1;
}

int RecordingSurface::endDoc() {
  log("endDoc");
  return 1;
}

bool RecordingSurface::getTextExtent(const char* text, int count, TextSize* size) {
  if (failMeasureNewline && count == 1 && text[0] == '\n') {
    setLastError(measureError);
    return false;
  }
  size->cx = count * kCharWidth;
  size->cy = kCellHeight;
  return true;
}

bool RecordingSurface::textOut(int x, int y, const char* text, int count) {
  log("textOut " + std::to_string(x) + "," + std::to_string(y) + " " +
      std::string(text, static_cast<std::size_t>(count)));
  return true;
}

int RecordingSurface::setBkMode(int mode) {
  log("setBkMode " + std::to_string(mode));
  const int previous = bkMode_;
  bkMode_ = mode;
  return previous;
}

int RecordingSurface::setDIBitsToDevice(int x, int y, uint32_t width, uint32_t height, int srcX,
                                        int srcY, uint32_t startScan, uint32_t scanLines,
                                        const void* bits, const BitmapInfoHeader* bitmapInfo,
                                        uint32_t colorUse) {
  std::ostringstream line;
  line << "setDIBitsToDevice " << x << "," << y << " " << width << "x" << height << " src " << srcX
       << "," << srcY << " scans " << startScan << "+" << scanLines
       << " bpp=" << (bitmapInfo ? bitmapInfo->biBitCount : 0) << " use=" << colorUse
       << (bits ? "" : " nobits");
  log(line.str());
  if (failSetDIBits) {
    setLastError(setDIBitsError);
    return 0;
  }
  return static_cast<int>(scanLines);
}

}  // namespace pw::testing
