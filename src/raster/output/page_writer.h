// The form in which finished pages leave the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "raster/page_raster.h"

namespace pw {

enum class OutputFormat { kTiff, kPdf, kPng, kG3 };
enum class FaxCompression { kG3, kG3TwoD, kG4 };
/// Which CCITT coder codes the pages of TIFF, PDF and raw G3 output: ours, or libtiff's, kept
/// to compare with.
enum class FaxCoder { kOwn, kLibtiff };

struct PageWriterOptions {
  std::string path;
  OutputFormat format = OutputFormat::kTiff;
  FaxCompression compression = FaxCompression::kG3;
  int dpiY = 196;
  FaxCoder coder = FaxCoder::kOwn;
};

/// A page in its output coding, waiting to be written: the bytes [offset, offset + size) of
/// data, so that a coder may leave a header in front of them rather than copy.
struct CodedPage {
  std::vector<uint8_t> data;
  size_t offset = 0;
  size_t size = 0;
  int width = 0;
  int height = 0;

  const uint8_t* bytes() const { return data.data() + offset; }
};

/// Receives each page as it ends and produces the document. Coding a page is separate from
/// writing it, so that pages can be coded on other threads while later ones are drawn. Failing
/// calls leave the cause as the last-error value; after a failure only discard() is meaningful.
class PageWriter {
 public:
  virtual ~PageWriter() = default;
  /// Creates the temporary output, so that a destination that cannot be written fails early.
  [[nodiscard]] virtual bool open() = 0;
  /// Codes a page. Reads nothing but the writer's options, so that several threads may code
  /// pages at once while another writes.
  [[nodiscard]] virtual bool encodePage(const PageRaster& page, CodedPage* coded) const = 0;
  /// Appends a coded page; pages arrive in order, one call at a time.
  [[nodiscard]] virtual bool writeCoded(const CodedPage& page) = 0;
  /// Completes the document under its temporary names. With no page written, leaves no file.
  [[nodiscard]] virtual bool finish() = 0;
  /// Puts the finished document in place; nothing is left to discard afterwards, whatever the
  /// outcome.
  [[nodiscard]] virtual bool commit() = 0;
  /// Writes the finished document to fd instead; false with last error 50 for a format of
  /// several files.
  [[nodiscard]] virtual bool commitTo(int fd) = 0;
  /// Removes everything written so far.
  virtual void discard() = 0;
};

std::unique_ptr<PageWriter> makePageWriter(const PageWriterOptions& options);

/// The name of the file that holds page `page` (1-based) of a document of pageCount pages
/// written to path: path itself for the formats of one file.
std::string outputFileName(OutputFormat format, const std::string& path, int page, int pageCount);

}  // namespace pw
