// The conversion run: start-up, the read loop and the end of the document.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "converter/converter.h"
#include "eventlog/event_reporter.h"
#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw {

namespace {

bool isLayoutControl(unsigned char c) {
  return c == kLineFeed || c == kFormFeed || c == kCarriageReturn || c == kFileSeparator;
}

bool isPageMarker(const char* text) {
  static constexpr char kMarker[] = "SPAGE";
  for (int i = 0; i < 5; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kMarker[i]) return false;
  }
  return true;
}

}  // namespace

int32_t mulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  const int64_t product = static_cast<int64_t>(a) * b;
  const bool negative = (product < 0) != (c < 0);
  const uint64_t magnitude = static_cast<uint64_t>(product < 0 ? -product : product);
  const uint64_t divisor = static_cast<uint64_t>(c < 0 ? -static_cast<int64_t>(c) : c);
  const uint64_t quotient = (magnitude + divisor / 2) / divisor;
  if (quotient > 0x7FFFFFFFu) return -1;
  return negative ? -static_cast<int32_t>(quotient) : static_cast<int32_t>(quotient);
}

int convertText(const RenderParams* params, DrawingSurface* surface, const char* textPath,
                uint32_t reservedArg, const JobFields* fields, uint32_t* pageCountOut,
                const ConversionServices& services) {
  if (pageCountOut) *pageCountOut = 0;
  if (!params || !surface || !pageCountOut) return failWith(kErrorInvalidParameter);
  // The converter carries its 64 KiB read block; keep it off small host stacks.
  std::unique_ptr<Converter> converter(new (std::nothrow) Converter);
  if (!converter) {
    return moduleReporter().reportError(msg::kErrorReading, textPath, kErrorOutOfMemory);
  }
  Converter& c = *converter;
  c.params = *params;
  c.dc = surface;
  c.textPath = textPath;
  c.reservedArg = reservedArg;
  c.fields = fields;
  c.files = services.files ? services.files : &platformFiles();
  c.images = services.images ? services.images : &platformImages();
  c.inserts = services.inserts;
  c.names = services.names;
  c.keepAllText = services.keepAllText;
  // A negative (character) height still reaches the font mapper as a cell height.
  c.params.font.lfHeight =
      std::abs(mulDiv(c.params.font.lfHeight, surface->getDeviceCaps(kLogPixelsY), 72));
  c.params.font.lfWidth = mulDiv(c.params.font.lfWidth, surface->getDeviceCaps(kLogPixelsX), 72);
  const int result = c.run();
  *pageCountOut = c.pageCount;
  return result;
}

int Converter::run() {
  EventReporter& reporter = moduleReporter();
  if (!textPath || !*textPath) return reporter.report(msg::kNoTextFileNamed);

  file = files->openForReading(textPath);
  if (!file) return reporter.reportError(msg::kCannotOpen, textPath, pw::lastError());

  dotsPerMetreY = mulDiv(dc->getDeviceCaps(kLogPixelsY), 10000, 254);

  workFont = params.font;
  font = dc->createFont(workFont);
  if (!font) return failRun(msg::kCreateFontFailed);
  previousFont = dc->selectFont(font);
  fontSelected = true;

  if (dc->startDoc(textPath) < 1) return failRun(msg::kStartDocFailed);

  computeGeometry();

  TextSize size;
  if (!dc->getTextExtent("\n", 1, &size)) {
    // The document was started: end it rather than leave a half-open job on the device.
    {
      LastErrorKeeper keep;
      dc->endDoc();
    }
    return failRun(msg::kGetTextExtentFailed);
  }
  lineAdvance =
      static_cast<int32_t>(static_cast<uint32_t>(size.cy) +
                           static_cast<uint32_t>(dotsPerMetreY) * params.lineSpacingMm / 1000);
  markupOn = params.directivesEnabled;
  dc->setBkMode(kTransparent);
  imageStart = -1;
  pageOpen = 0;
  x = left;
  y = top;
  landscape = 0;

  readLoop();
  endDocument();
  if (lastError != 0) return 0;
  if (hasText) return 1;
  reporter.report(msg::kFileContainsNoText, textPath);
  pageCount = 0;
  return 1;
}

int Converter::failRun(uint32_t messageId) {
  const uint32_t code = pw::lastError();
  if (fontSelected) dc->selectFont(previousFont);
  if (font) dc->deleteFont(font);
  font = nullptr;
  fontSelected = false;
  file.reset();
  moduleReporter().reportError(messageId, textPath, code);
  return failWith(code);
}

// Unsigned 32-bit arithmetic throughout, as page descriptions are unsigned: margins wider than
// the page wrap around rather than being rejected, and the layout copes with any limits.
void Converter::computeGeometry() {
  uint32_t width = params.pageWidthMm * kFaxDotsPerMetre / 1000;
  if (width > kFaxLineDots) width = kFaxLineDots;
  const uint32_t offset = (kFaxLineDots - width) / 2;
  const uint32_t dpmY = static_cast<uint32_t>(dotsPerMetreY);
  left = static_cast<int32_t>(offset + params.leftMarginMm * kFaxDotsPerMetre / 1000);
  right = static_cast<int32_t>(offset + width - params.rightMarginMm * kFaxDotsPerMetre / 1000);
  top = static_cast<int32_t>(dpmY * params.topMarginMm / 1000);
  bottom = static_cast<int32_t>(dpmY * (params.pageHeightMm - params.bottomMarginMm) / 1000);
}

bool Converter::refill() {
  uint32_t got = 0;
  if (!file->read(readBlock, kReadBlockSize, &got)) {
    lastError = pw::lastError();
    moduleReporter().reportError(msg::kErrorReading, textPath, lastError);
    return false;
  }
  readPos = 0;
  readEnd = got;
  return got != 0;
}

void Converter::readLoop() {
  for (;;) {
    char* const slot = &line[lineLen];
    if (!readByte(slot)) break;
    const unsigned char c = static_cast<unsigned char>(*slot);
    if (isLayoutControl(c)) {
      handleControl();
      imageStart = -1;
      continue;
    }
    if (!markupOn) {
      appendByte();
      continue;
    }
    if (awaitSpage && lineLen == 4) {
      if (isPageMarker(line)) {
        awaitSpage = 0;
        lineLen = 0;
        continue;
      }
      // Text after a file separator that is not the page marker is ordinary text: stop waiting
      // for the marker rather than drop what follows.
      awaitSpage = 0;
    }
    if (c < 32) {
      handleControl();
      continue;
    }
    if (lineLen >= 2 && line[lineLen - 2] == '#') {
      handleDirective();
    } else if (c == '<') {
      insertField();
    } else if (lineLen >= 1 && line[lineLen - 1] == '@' && c == '/') {
      // The '/' stays uncounted: an opening pair leaves the name to start in its slot.
      if (imageStart == -1) {
        imageStart = static_cast<int32_t>(lineLen);
      } else {
        placeImage(imageStart);
        imageStart = -1;
      }
    } else if (lineLen >= 1 && line[lineLen - 1] == '%' && c >= '0' && c <= '9') {
      insertNumbered();
    } else {
      appendByte();
    }
  }
}

uint32_t Converter::makeRoom() {
  uint32_t drawn = layOut(line, lineLen, /*keepLastLine=*/true);
  // Without a complete line (one word fills the buffer) everything is drawn, as a flush would.
  if (drawn == 0) drawn = layOut(line, lineLen, /*keepLastLine=*/false);
  // The byte being read moves with the kept text.
  std::memmove(line, line + drawn, lineLen - drawn + 1);
  lineLen -= drawn;
  // An image reference whose "@" was drawn is text now.
  if (imageStart >= 0) {
    imageStart =
        static_cast<uint32_t>(imageStart) > drawn ? imageStart - static_cast<int32_t>(drawn) : -1;
  }
  return drawn;
}

void Converter::dispatchControl() {
  const unsigned char c = static_cast<unsigned char>(line[lineLen]);
  handleControl();
  if (isLayoutControl(c)) imageStart = -1;
}

void Converter::endDocument() {
  flushLine();
  closePage();
  dc->endDoc();
  dc->selectFont(previousFont);
  dc->deleteFont(font);
  font = nullptr;
  file.reset();
  setLastError(lastError);
}

}  // namespace pw
