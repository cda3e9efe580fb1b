// Reading back the TIFF files the command wrote, and damaging one for the checker.
#pragma once

#include <string>

namespace pw::cli::testing {

/// Page count of a TIFF file; -1 when it cannot be opened.
int tiffPageCount(const std::string& path);

/// Page `page` (from 0) of a bilevel TIFF as a raw PBM file, as g32pbm writes it; empty when it
/// cannot be decoded.
std::string tiffPagePbm(const std::string& path, int page);

/// Overwrites the second half of page `page`'s (1-based) first strip with pseudo-random bytes;
/// false when the file or the page cannot be read.
bool scrambleStrip(const std::string& path, int page);

}  // namespace pw::cli::testing
