#include "raster/fax_device.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/last_error.h"
#include "raster/dib_reader.h"

namespace pw {

namespace {

// Distinct font records kept realised; the converter re-creates the same few records on every
// page, so their glyph caches must outlive deleteFont.
constexpr size_t kMaxCachedFonts = 64;

std::string recordKey(const LogFont& record) {
  LogFont copy = record;
  // Bytes after the face name's terminator carry no meaning and must not split the cache.
  const size_t length = strnlen(copy.lfFaceName, sizeof copy.lfFaceName);
  std::memset(copy.lfFaceName + length, 0, sizeof copy.lfFaceName - length);
  return std::string(reinterpret_cast<const char*>(&copy), sizeof copy);
}

// Maps a rectangle of the unrotated text cell (u along the text, v down from the cell's top)
// onto the page for text whose reference point is (x, y).
struct CellMapper {
  int x;
  int y;
  bool rotated;

  void fill(PageRaster& raster, int64_t u0, int64_t v0, int64_t u1, int64_t v1, bool black) const {
    auto clampInt = [](int64_t value) {
      return static_cast<int>(std::clamp<int64_t>(value, std::numeric_limits<int>::min() / 2,
                                                  std::numeric_limits<int>::max() / 2));
    };
    if (!rotated) {
      raster.fillRect(clampInt(x + u0), clampInt(y + v0), clampInt(x + u1), clampInt(y + v1),
                      black);
    } else {
      // A quarter turn counter-clockwise: (u, v) lands at (x + v, y - u).
      raster.fillRect(clampInt(x + v0), clampInt(y - u1), clampInt(x + v1), clampInt(y - u0),
                      black);
    }
  }
};

}  // namespace

std::unique_ptr<FaxDevice> FaxDevice::create(const FaxDeviceOptions& options) {
  const int dpiY = options.fineResolution ? kFaxDpiYFine : kFaxDpiYNormal;
  const int lines = pageLines(options.paper, options.customHeightMm, dpiY);
  if (lines <= 0 || options.outputPath.empty()) {
    return failNull(kErrorInvalidParameter);
  }
  return std::unique_ptr<FaxDevice>(new FaxDevice(options, lines));
}

FaxDevice::FaxDevice(const FaxDeviceOptions& options, int lines)
    : options_(options),
      dpiY_(options.fineResolution ? kFaxDpiYFine : kFaxDpiYNormal),
      pages_(kFaxLineDots, lines, options.encoderThreads) {}

FaxDevice::~FaxDevice() {
  // An unfinished document's pages may still be on their way to the writer.
  if (inDocument_) (void)pages_.drain();
  abandon();  // a document the host did not keep
}

uint32_t FaxDevice::documentError() const {
  return documentError_ != kErrorSuccess ? documentError_ : pages_.error();
}

int FaxDevice::getDeviceCaps(int index) {
  if (index == kLogPixelsX) return kFaxDpiX;
  if (index == kLogPixelsY) return dpiY_;
  return 0;
}

RasterFont* FaxDevice::realise(const LogFont& record) {
  std::string key = recordKey(record);
  auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second.get();
  if (fonts_.size() >= kMaxCachedFonts) {
    std::erase_if(fonts_, [this](const auto& entry) {
      const RasterFont* font = entry.second.get();
      if (stockFont_.font == font) return false;
      return std::none_of(liveFonts_.begin(), liveFonts_.end(),
                          [font](const auto& live) { return live.second->font == font; });
    });
  }
  std::unique_ptr<RasterFont> font = RasterFont::create(faces_, record, kFaxDpiX, dpiY_);
  if (!font) return nullptr;
  return fonts_.emplace(std::move(key), std::move(font)).first->second.get();
}

template <typename Result, typename Operation>
Result FaxDevice::guarded(Result failure, Operation&& operation) noexcept {
  try {
    return operation();
  } catch (...) {
    failDocument(kErrorOutOfMemory);
    return failure;
  }
}

FontHandle FaxDevice::createFont(const LogFont& font) {
  return guarded(FontHandle{nullptr}, [&] { return makeFont(font); });
}

FontHandle FaxDevice::makeFont(const LogFont& font) {
  RasterFont* realised = realise(font);
  if (!realised) return nullptr;
  auto object = std::make_unique<FontObject>();
  object->font = realised;
  FontObject* handle = object.get();
  liveFonts_.emplace(handle, std::move(object));
  return handle;
}

FontHandle FaxDevice::selectFont(FontHandle font) {
  auto* object = static_cast<FontObject*>(font);
  if (object != &stockFont_ && !liveFonts_.contains(object)) {
    return failNull(kErrorInvalidHandle);
  }
  FontObject* previous = selected_;
  selected_ = object;
  return previous;
}

void FaxDevice::deleteFont(FontHandle font) {
  auto* object = static_cast<FontObject*>(font);
  // GDI ignores deleting a stock object; a selected font stays usable until replaced.
  if (object == &stockFont_ || object == selected_) return;
  liveFonts_.erase(object);
}

RasterFont* FaxDevice::currentFont() {
  if (selected_ == &stockFont_ && !stockFont_.font) {
    LogFont stock{};  // the mapper's default: its sans-serif face at the default size
    stockFont_.font = realise(stock);
  }
  if (!selected_->font) failWith(kErrorFileNotFound);
  return selected_->font;
}

int FaxDevice::failDocument(uint32_t code) {
  if (documentError_ == kErrorSuccess) documentError_ = code;
  return failWith(code);
}

int FaxDevice::startDoc(const char*) {
  return guarded(0, [&] { return openDocument(); });
}

int FaxDevice::openDocument() {
  if (inDocument_) return failWith(kErrorInvalidFunction);
  abandon();
  documentError_ = kErrorSuccess;
  PageWriterOptions writerOptions;
  writerOptions.path = options_.outputPath;
  writerOptions.format = options_.format;
  writerOptions.compression = options_.compression;
  writerOptions.dpiY = dpiY_;
  writerOptions.coder = options_.coder;
  std::unique_ptr<PageWriter> writer = makePageWriter(writerOptions);
  if (!writer->open()) return failDocument(lastError());
  writer_ = std::move(writer);
  pages_.start(writer_.get());
  inDocument_ = true;
  return ++jobs_;
}

int FaxDevice::startPage() {
  if (!inDocument_ || inPage_) return failWith(kErrorInvalidFunction);
  pages_.current().clear();
  inPage_ = true;
  return 1;
}

int FaxDevice::endPage() {
  return guarded(0, [&] { return finishPage(); });
}

int FaxDevice::finishPage() {
  if (!inPage_) return failWith(kErrorInvalidFunction);
  inPage_ = false;
  // After a failed write the document is lost; later pages are not written.
  if (documentError_ != kErrorSuccess) return failWith(documentError_);
  if (!pages_.submit()) return failDocument(lastError());
  return 1;
}

int FaxDevice::endDoc() {
  return guarded(0, [&] { return closeDocument(); });
}

int FaxDevice::closeDocument() {
  if (!inDocument_) return failWith(kErrorInvalidFunction);
  if (inPage_) (void)endPage();
  inDocument_ = false;
  const uint32_t pageError = pages_.drain();
  if (pageError != kErrorSuccess && documentError_ == kErrorSuccess) documentError_ = pageError;
  std::unique_ptr<PageWriter> writer = std::move(writer_);
  if (documentError_ != kErrorSuccess) {
    writer->discard();
    return failWith(documentError_);
  }
  if (!writer->finish()) return failDocument(lastError());
  if (pages_.pagesWritten() > 0) finished_ = std::move(writer);
  documentFinished_ = true;
  return 1;
}

template <typename Keep>
bool FaxDevice::keep(Keep keepDocument) {
  if (inDocument_) return failWith(kErrorInvalidFunction);
  if (documentError_ != kErrorSuccess) return failWith(documentError_);
  if (!documentFinished_) return failWith(kErrorInvalidFunction);
  documentFinished_ = false;
  // A document without pages leaves no file, and any file of its name untouched.
  std::unique_ptr<PageWriter> writer = std::move(finished_);
  if (writer && !keepDocument(*writer)) return failDocument(lastError());
  return true;
}

bool FaxDevice::commit() {
  return keep([](PageWriter& writer) { return writer.commit(); });
}

bool FaxDevice::commitTo(int fd) {
  return keep([fd](PageWriter& writer) { return writer.commitTo(fd); });
}

void FaxDevice::abandon() {
  if (finished_) finished_->discard();
  finished_.reset();
  documentFinished_ = false;
}

bool FaxDevice::getTextExtent(const char* text, int count, TextSize* size) {
  return guarded(false, [&] { return measure(text, count, size); });
}

bool FaxDevice::measure(const char* text, int count, TextSize* size) {
  if (!size || count < 0 || (count > 0 && !text)) return fail(kErrorInvalidParameter);
  RasterFont* font = currentFont();
  if (!font) return false;
  int64_t width = 0;
  for (int i = 0; i < count; ++i) width += font->glyph(static_cast<uint8_t>(text[i])).advance;
  size->cx = static_cast<int32_t>(std::min<int64_t>(width, std::numeric_limits<int32_t>::max()));
  size->cy = font->cellHeight();
  return true;
}

bool FaxDevice::textOut(int x, int y, const char* text, int count) {
  return guarded(false, [&] { return drawText(x, y, text, count); });
}

bool FaxDevice::drawText(int x, int y, const char* text, int count) {
  if (count < 0 || (count > 0 && !text)) return fail(kErrorInvalidParameter);
  PageRaster& raster = pages_.current();
  RasterFont* font = currentFont();
  if (!font) return false;
  const auto* bytes = reinterpret_cast<const uint8_t*>(text);
  const bool rotated = font->rotated();
  const CellMapper cell{x, y, rotated};

  int64_t width = 0;
  for (int i = 0; i < count; ++i) width += font->glyph(bytes[i]).advance;
  if (bkMode_ == kOpaque) cell.fill(raster, 0, 0, width, font->cellHeight(), false);

  // The pen on the baseline; glyphs far off the page are skipped, the rest clipped.
  int64_t penX = rotated ? int64_t{x} + font->ascent() : x;
  int64_t penY = rotated ? y : int64_t{y} + font->ascent();
  const int64_t margin = 4 * int64_t{font->cellHeight()} + 64;
  for (int i = 0; i < count; ++i) {
    const Glyph& glyph = font->glyph(bytes[i]);
    const int64_t left = penX + glyph.offsetX;
    const int64_t top = penY + glyph.offsetY;
    const bool nearPage = left > -margin && left < raster.width() + margin && top > -margin &&
                          top < raster.height() + margin;
    if (nearPage && glyph.width > 0) {
      if (!glyph.rows.empty()) {
        raster.orNarrow(static_cast<int>(left), static_cast<int>(top), glyph.rows.data(),
                        glyph.width, glyph.height);
      } else {
        raster.blit(static_cast<int>(left), static_cast<int>(top), glyph.bits.data(), glyph.pitch,
                    glyph.width, glyph.height, detail::BlitOp::kOr);
      }
    }
    if (rotated) {
      penY -= glyph.advance;
    } else {
      penX += glyph.advance;
    }
  }
  if (font->underline()) {
    const CellBand band = font->underlineBand();
    cell.fill(raster, 0, band.top, width, band.top + band.thickness, true);
  }
  if (font->strikeOut()) {
    const CellBand band = font->strikeOutBand();
    cell.fill(raster, 0, band.top, width, band.top + band.thickness, true);
  }
  return true;
}

int FaxDevice::setBkMode(int mode) {
  if (mode != kTransparent && mode != kOpaque) return failWith(kErrorInvalidParameter);
  const int previous = bkMode_;
  bkMode_ = mode;
  return previous;
}

int FaxDevice::setDIBitsToDevice(int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                                 uint32_t startScan, uint32_t scanLines, const void* bits,
                                 const BitmapInfoHeader* bitmapInfo, uint32_t colorUse) {
  return guarded(0, [&] {
    return drawBitmap(x, y, width, height, srcX, srcY, startScan, scanLines, bits, bitmapInfo,
                      colorUse);
  });
}

int FaxDevice::drawBitmap(int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                          uint32_t startScan, uint32_t scanLines, const void* bits,
                          const BitmapInfoHeader* bitmapInfo, uint32_t colorUse) {
  DibLayout layout;
  if (!bits || srcX < 0 || srcY < 0 || !readDibLayout(bitmapInfo, colorUse, &layout)) {
    return failWith(kErrorInvalidParameter);
  }
  const auto dibWidth = static_cast<uint32_t>(layout.width);
  const auto dibHeight = static_cast<uint32_t>(layout.height);
  // Sizes beyond the bitmap (a top-down height passed through as a huge unsigned value) shrink
  // to what the bitmap holds.
  const uint32_t columns =
      static_cast<uint32_t>(srcX) < dibWidth ? std::min(width, dibWidth - srcX) : 0;
  const uint32_t rows =
      static_cast<uint32_t>(srcY) < dibHeight ? std::min(height, dibHeight - srcY) : 0;
  const uint32_t bandEnd =
      startScan < dibHeight ? startScan + std::min(scanLines, dibHeight - startScan) : startScan;
  // DIB rows in both the source rectangle and the band the caller supplied. Rows count from the
  // bottom for bottom-up bitmaps and from the top for top-down ones, as in GDI.
  const uint32_t first = std::max(startScan, static_cast<uint32_t>(srcY));
  const uint32_t last = std::min(bandEnd, static_cast<uint32_t>(srcY) + rows);
  if (columns == 0 || first >= last) return failWith(kErrorInvalidParameter);
  PageRaster& raster = pages_.current();

  std::vector<uint8_t> line(static_cast<size_t>(layout.width + 7) / 8 + 1);
  const auto* base = static_cast<const uint8_t*>(bits);
  for (uint32_t row = first; row < last; ++row) {
    const int64_t offset = layout.topDown ? int64_t{row} - srcY : int64_t{srcY} + rows - 1 - row;
    const int64_t pageY = int64_t{y} + offset;
    if (pageY < 0 || pageY >= raster.height()) continue;
    dibRowToBits(layout, base + static_cast<size_t>(row - startScan) * layout.stride, line.data());
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + columns, raster.width());
    if (left >= right) continue;
    detail::blitBits(raster.row(static_cast<int>(pageY)), static_cast<int>(left), line.data(),
                     static_cast<size_t>(srcX + (left - x)), static_cast<int>(right - left),
                     detail::BlitOp::kCopy);
  }
  return static_cast<int>(last - first);
}

}  // namespace pw
