// Raw G3 pages, as mgetty+sendfax and efax send them: one file per page, no header.
#pragma once

#include <memory>
#include <string>

#include "raster/output/page_files.h"

namespace pw {

/// Page n of output "name" is written as "name.NNN" (n from 1, numbered as PageFileNaming says),
/// every page, also a single one: the names mgetty's faxspool collects and efax's "fax send"
/// takes as they are. Each file holds the page in ITU T.4 1-D coding, most significant bit first,
/// an EOL before every line and RTC (six EOLs) at the end, whatever the compression option says.
std::unique_ptr<PageWriter> makeG3Writer(const PageWriterOptions& options);

/// The naming of the page files for the output path, as described above.
PageFileNaming g3PageNaming(const std::string& outputPath);

}  // namespace pw
