// Multi-page TIFF Class F output.
#pragma once

#include <memory>

#include "raster/output/page_writer.h"

namespace pw {

/// Pages in one little-endian TIFF Class F file, one directory per page with NewSubfileType
/// page and PageNumber (0-based as TIFF counts, with the total filled in at the end).
std::unique_ptr<PageWriter> makeTiffWriter(const PageWriterOptions& options);

}  // namespace pw
