// The raster fax device: draws into a 1-bit page at fax geometry and writes each finished page.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "raster/fax_geometry.h"
#include "raster/output/page_writer.h"
#include "raster/page_pipeline.h"
#include "raster/page_raster.h"
#include "raster/text/face_cache.h"
#include "raster/text/raster_font.h"
#include "surface/drawing_surface.h"

namespace pw {

struct FaxDeviceOptions {
  std::string outputPath;
  OutputFormat format = OutputFormat::kTiff;
  FaxCompression compression = FaxCompression::kG3;  ///< TIFF only; PDF pages are always G4
  bool fineResolution = true;
  Paper paper = Paper::kA4;
  uint32_t customHeightMm = 0;  ///< for Paper::kCustom
  /// Threads that code and write finished pages while the next ones are drawn; 0 codes each page
  /// in endPage itself.
  int encoderThreads = 0;
  FaxCoder coder = FaxCoder::kOwn;  ///< libtiff's coder writes the same bytes, more slowly
};

/// A DrawingSurface with GDI's meaning on a 1728-dot fax page. Pages are encoded and written
/// as they end, so memory does not depend on the page count. A document that endDoc finished
/// waits under temporary names until the host keeps it (commit) or abandons it; a new document
/// or the device's end abandons it. One thread at a time draws; pages may be coded on others.
class FaxDevice final : public DrawingSurface {
 public:
  /// Null with last error 87 when the paper size is unusable or the path is empty.
  static std::unique_ptr<FaxDevice> create(const FaxDeviceOptions& options);
  ~FaxDevice() override;

  int getDeviceCaps(int index) override;
  FontHandle createFont(const LogFont& font) override;
  FontHandle selectFont(FontHandle font) override;
  void deleteFont(FontHandle font) override;
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

  /// Puts the document that endDoc finished in place. False with the document's failure as last
  /// error when it failed, 1 when no finished document waits, else the cause; the document is
  /// abandoned then.
  [[nodiscard]] bool commit();
  /// As commit, writing the document to fd instead (one-file formats only: 50 otherwise).
  [[nodiscard]] bool commitTo(int fd);
  /// Removes the finished document, if one waits.
  void abandon();

  /// Pages written in the current or last document. Waits for the pages that have ended to be
  /// coded and written.
  int pagesWritten() const { return pages_.pagesWritten(); }
  /// The first failure of the current or last document (a Win32 code), 0 when none; waits as
  /// pagesWritten does. A page coded on another thread may fail after its endPage returned:
  /// its failure shows here and in the result of a later endPage or of endDoc.
  uint32_t documentError() const;
  /// The page being drawn, for inspection.
  const PageRaster& raster() const { return pages_.current(); }

 private:
  struct FontObject {
    RasterFont* font = nullptr;  // realised lazily for the stock font
  };

  FaxDevice(const FaxDeviceOptions& options, int lines);

  // The operations themselves. The overrides run them guarded: running out of memory fails the
  // operation, and the document, with last error 14 instead of throwing into the converter.
  template <typename Result, typename Operation>
  Result guarded(Result failure, Operation&& operation) noexcept;
  FontHandle makeFont(const LogFont& font);
  int openDocument();
  int finishPage();
  int closeDocument();
  bool measure(const char* text, int count, TextSize* size);
  bool drawText(int x, int y, const char* text, int count);
  int drawBitmap(int x, int y, uint32_t width, uint32_t height, int srcX, int srcY,
                 uint32_t startScan, uint32_t scanLines, const void* bits,
                 const BitmapInfoHeader* bitmapInfo, uint32_t colorUse);

  RasterFont* currentFont();
  RasterFont* realise(const LogFont& record);
  /// Records code as the document's failure (the first one stays) and returns failWith(code).
  int failDocument(uint32_t code);
  template <typename Keep>
  bool keep(Keep keepDocument);

  FaxDeviceOptions options_;
  int dpiY_;
  // Declared before the fonts, which hold sizes of its faces and must go first.
  FaceCache faces_;
  std::map<std::string, std::unique_ptr<RasterFont>> fonts_;      // by font record bytes
  std::map<FontObject*, std::unique_ptr<FontObject>> liveFonts_;  // created and not deleted
  FontObject stockFont_;
  FontObject* selected_ = &stockFont_;
  std::unique_ptr<PageWriter> writer_;
  // The document endDoc finished, until it is kept or abandoned; null for one without pages.
  std::unique_ptr<PageWriter> finished_;
  bool documentFinished_ = false;
  // After the writer: pages still being coded must be drained before it goes.
  PagePipeline pages_;
  bool inDocument_ = false;
  bool inPage_ = false;
  int bkMode_ = kOpaque;
  int jobs_ = 0;
  uint32_t documentError_ = 0;
};

}  // namespace pw
