#include "raster/output/page_writer.h"

#include "raster/output/g3_writer.h"
#include "raster/output/pdf_writer.h"
#include "raster/output/png_writer.h"
#include "raster/output/tiff_writer.h"

namespace pw {

std::unique_ptr<PageWriter> makePageWriter(const PageWriterOptions& options) {
  switch (options.format) {
    case OutputFormat::kPdf:
      return makePdfWriter(options);
    case OutputFormat::kPng:
      return makePngWriter(options);
    case OutputFormat::kG3:
      return makeG3Writer(options);
    case OutputFormat::kTiff:
      break;
  }
  return makeTiffWriter(options);
}

std::string outputFileName(OutputFormat format, const std::string& path, int page, int pageCount) {
  switch (format) {
    case OutputFormat::kPng:
      return pngPageNaming(path).name(page, pageCount);
    case OutputFormat::kG3:
      return g3PageNaming(path).name(page, pageCount);
    case OutputFormat::kTiff:
    case OutputFormat::kPdf:
      break;
  }
  return path;
}

}  // namespace pw
