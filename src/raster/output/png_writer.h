// PNG preview output: one file per page.
#pragma once

#include <memory>
#include <string>

#include "raster/output/page_files.h"

namespace pw {

/// Page n of output "dir/name.ext" is written as "dir/name-NNN.ext" (".png" when the output has
/// no extension), every page, also a single one, so that a host finds the pages by one pattern.
/// Normal-resolution pages repeat each row so that the preview keeps the page's proportions.
std::unique_ptr<PageWriter> makePngWriter(const PageWriterOptions& options);

/// The naming of the page files for the output path, as described above.
PageFileNaming pngPageNaming(const std::string& outputPath);

}  // namespace pw
