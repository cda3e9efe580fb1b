// The PDF assembly with qpdf, built as a module of its own (pagewright_pdf) that the PDF writer
// loads when a document ends, so that processes writing TIFF or PNG never load qpdf and the
// libraries it pulls in.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

/// One page's G4 image in the spool file.
struct PwPdfPage {
  uint64_t offset;
  uint64_t size;
  int32_t height;
};

/// Writes a PDF of the pages (each 1728 dots wide at 204 x dpiY dots per inch) to outFd, reading
/// their images from spoolFd; outFd stays open. Returns 0, an errno value, or one of the
/// kPdf... outcomes below. Never throws.
using PwWritePdfDocument = int (*)(const PwPdfPage* pages, size_t count, int spoolFd, int dpiY,
                                   int outFd, const char* outPath);
}

namespace pw {

inline constexpr int kPdfOutOfMemory = -1;
inline constexpr int kPdfFailed = -2;

/// The module's file name and its one entry point.
inline constexpr char kPdfModuleName[] = "pagewright_pdf.so";
inline constexpr char kPdfEntryPoint[] = "pwWritePdfDocument";

}  // namespace pw
