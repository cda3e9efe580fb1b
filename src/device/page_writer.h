// The form in which finished pages leave the device.
#pragma once

#include <memory>
#include <string>

#include "device/page_raster.h"

namespace pw {

enum class OutputFormat { kTiff, kPdf, kPng };
enum class FaxCompression { kG3, kG3TwoD, kG4 };

struct PageWriterOptions {
  std::string path;
  OutputFormat format = OutputFormat::kTiff;
  FaxCompression compression = FaxCompression::kG3;
  int dpiY = 196;
};

/// Receives each page as it ends and produces the document. Failing calls leave the cause as
/// the last-error value; after a failure only discard() is meaningful.
class PageWriter {
 public:
  virtual ~PageWriter() = default;
  /// Creates the temporary output, so that a destination that cannot be written fails early.
  [[nodiscard]] virtual bool open() = 0;
  [[nodiscard]] virtual bool writePage(const PageRaster& page) = 0;
  /// Completes the document and moves it into place. With no page written, leaves no file.
  [[nodiscard]] virtual bool finish() = 0;
  /// Removes everything written so far.
  virtual void discard() = 0;
};

std::unique_ptr<PageWriter> makePageWriter(const PageWriterOptions& options);

}  // namespace pw
