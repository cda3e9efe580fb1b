// Image references ("@/name@/count"): a TIFF image drawn at the left edge of the page, taking the
// room of count text lines.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "converter/converter.h"
#include "converter/decimal.h"
#include "converter/read_confinement.h"
#include "eventlog/event_reporter.h"
#include "eventlog/message_table.h"
#include "images/image_library.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"
#include "support/path_string.h"

namespace pw {

namespace {

constexpr char kDefaultImageExtension[] = ".tif";
constexpr uint32_t kDibRgbColors = 0;

// More lines than any page holds. Larger counts are clamped, so that count * lineAdvance stays far
// from 32-bit overflow and a long digit run cannot wrap round to a small count.
constexpr uint32_t kMaxImageLines = 0xFFFF;
// Nine significant digits cannot exceed parseDecimal's 32-bit range.
constexpr std::size_t kMaxExactCountDigits = 9;

// The largest BITMAPINFO a surface may read: a BITMAPV5HEADER, a 256-entry colour table and
// three BI_BITFIELDS masks.
constexpr std::size_t kMaxBitmapInfoSize = 124 + 256 * 4 + 12;

// Closes the image handle once, at the latest when placeImage returns.
class OpenImage {
 public:
  OpenImage(ImageLibrary& library, ImageHandle handle) : library_(library), handle_(handle) {}
  ~OpenImage() { close(); }
  OpenImage(const OpenImage&) = delete;
  OpenImage& operator=(const OpenImage&) = delete;

  ImageHandle get() const { return handle_; }
  void close() {
    if (handle_) library_.close(handle_);
    handle_ = nullptr;
  }

 private:
  ImageLibrary& library_;
  ImageHandle handle_;
};

uint32_t countFromDigits(const char* digits) {
  const char* significant = digits;
  while (*significant == '0') ++significant;
  if (std::strlen(significant) > kMaxExactCountDigits) return kMaxImageLines;
  return std::min(parseDecimal(digits), kMaxImageLines);
}

}  // namespace

void Converter::placeImage(int32_t start) {
  // The closing '@' ends the name.
  --lineLen;
  line[lineLen] = '\0';

  PathString path(params.imageDirectory);
  path.join(&line[start]);
  if (*path.extension() == '\0') path.replaceExtension(kDefaultImageExtension);
  const char* const pathText = path.text() ? path.text() : "";

  // The count's digits overwrite the pending text. Digits beyond the buffer are read and dropped;
  // the count is clamped anyway.
  uint32_t digits = 0;
  bool atEnd = false;
  for (;;) {
    char* const slot = &line[std::min(digits, kMaxPending)];
    if (!readByte(slot)) {
      atEnd = true;
      break;
    }
    if (!isDigit(*slot)) break;
    if (digits < kMaxPending) ++digits;
  }
  if (lastError != 0) return;
  char rest = atEnd ? static_cast<char>(kLineFeed) : line[std::min(digits, kMaxPending)];
  line[digits] = '\0';
  const int32_t count = static_cast<int32_t>(countFromDigits(line));

  // The rest of the line is skipped uninterpreted; a read error here still lets the image be drawn.
  while (rest != static_cast<char>(kLineFeed) && readByte(&rest)) {
  }
  // The pending text is discarded, and with it any "#T" position waiting for it.
  lineLen = 0;
  alignedPending = false;

  ImageLibrary& library = *images;
  std::string shown;
  std::string readable;
  OpenImage image(library, resolveNamed(pathText, &shown, &readable)
                               ? library.open(readable.c_str())
                               : nullptr);
  if (!image.get()) {
    lastError = pw::lastError();
    moduleReporter().reportError(msg::kCannotOpen, shown.c_str(), lastError);
    return;
  }
  HeapBlock block = library.render(image.get());
  if (!block) {
    lastError = pw::lastError();
    moduleReporter().reportError(msg::kCannotConvertTiff, shown.c_str(), lastError);
    return;
  }
  const unsigned char* const info = block.get() + kBitmapFileHeaderSize;
  // The block outlives the handle; closing first keeps one file open at a time.
  image.close();

  const int32_t advance =
      static_cast<int32_t>(static_cast<uint32_t>(count) * static_cast<uint32_t>(lineAdvance));
  if (!landscape && wrapAdd(y, advance) > bottom) closePage();
  openPage();
  const int32_t destY = landscape ? top : y;

  const void* const pixels = library.locatePixels(info);
  // BITMAPINFO sits at offset 14 of the block, where its 32-bit fields are misaligned; the
  // surface reads them directly, so it gets an aligned copy of the header and colour table.
  alignas(BitmapInfoHeader) unsigned char infoCopy[kMaxBitmapInfoSize] = {};
  const auto* pixelBytes = static_cast<const unsigned char*>(pixels);
  const std::size_t infoSize =
      pixelBytes > info
          ? std::min<std::size_t>(static_cast<std::size_t>(pixelBytes - info), kMaxBitmapInfoSize)
          : sizeof(BitmapInfoHeader);
  std::memcpy(infoCopy, info, infoSize);
  BitmapInfoHeader header;
  std::memcpy(&header, infoCopy, sizeof header);

  // Width and height go to the surface as the header holds them: one image pixel per dot.
  const auto width = static_cast<uint32_t>(header.biWidth);
  const auto height = static_cast<uint32_t>(header.biHeight);
  if (dc->setDIBitsToDevice(/*x=*/0, destY, width, height, /*srcX=*/0, /*srcY=*/0,
                            /*startScan=*/0, /*scanLines=*/height, pixels,
                            reinterpret_cast<const BitmapInfoHeader*>(infoCopy),
                            kDibRgbColors) == 0) {
    lastError = pw::lastError();
    moduleReporter().reportError(msg::kSetDIBitsFailed, lastError);
  }
  block.reset();

  // The text's count, not the bitmap's height, decides the room taken, also after a failed draw.
  if (!landscape) y = wrapAdd(y, advance);
}

}  // namespace pw
