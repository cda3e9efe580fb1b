// PDF output: each page a CCITT Group 4 image at its physical size.
#pragma once

#include <memory>

#include "raster/output/page_writer.h"

namespace pw {

/// Pages are coded as they end and kept in a temporary spool file; the PDF is written with
/// qpdf when the document ends, reading each image back from the spool, so memory stays flat.
std::unique_ptr<PageWriter> makePdfWriter(const PageWriterOptions& options);

}  // namespace pw
