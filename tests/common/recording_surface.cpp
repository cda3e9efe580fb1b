#include "common/recording_surface.h"

#include <sstream>

namespace pw::testing {

std::vector<std::string> RecordingSurface::only(const std::string& ops) const {
  std::vector<std::string> out;
  for (const std::string& call : calls) {
    if ((" " + ops + " ").find(" " + call.substr(0, call.find(' ')) + " ") != std::string::npos) {
      out.push_back(call);
    }
  }
  return out;
}

std::vector<std::string> RecordingSurface::texts() const {
  std::vector<std::string> out;
  for (const std::string& call : only("textOut")) out.push_back(call.substr(call.find(' ', 8) + 1));
  return out;
}

std::string RecordingSurface::drawing() const {
  std::string out;
  for (const std::string& call : only("textOut setDIBitsToDevice")) {
    out += (out.empty() ? "" : "\n") + call.substr(call.rfind("textOut ", 0) == 0 ? 8 : 0);
  }
  return out;
}

FontHandle RecordingSurface::createFont(const LogFont& font) {
  fonts.push_back(font);
  std::ostringstream line;
  line << "createFont h=" << font.lfHeight << " w=" << font.lfWidth << " weight=" << font.lfWeight
       << " italic=" << int{font.lfItalic} << " underline=" << int{font.lfUnderline}
       << " esc=" << font.lfEscapement << " -> ";
  if (failCreateFontAt == static_cast<int>(fonts.size())) {
    log(line.str() + "null");
    return setLastError(8), nullptr;
  }
  live_.push_back(reinterpret_cast<FontHandle>(nextFont_++));
  log(line.str() + number(live_.back()));
  return live_.back();
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
  return failSetDIBits ? (setLastError(setDIBitsError), 0) : static_cast<int>(scanLines);
}

}  // namespace pw::testing
