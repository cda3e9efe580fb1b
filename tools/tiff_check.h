// `pagewright check`: whether a TIFF file meets the Class F profile that fax software expects.
#pragma once

#include <string>
#include <vector>

namespace pw::cli {

struct TiffCheckResult {
  bool opened = false;
  unsigned pages = 0;
  std::vector<std::string> problems;  ///< each names the page and the tag at fault
};

/// Reads every page of the file at path and lists each departure from Class F: width 1728, one
/// bit per sample, min-is-white, CCITT Group 3 or 4, 204 x 196 or 98 dots per inch, one strip per
/// page, a fill order, page numbers n of total, and the page subfile type.
TiffCheckResult checkTiff(const std::string& path);

/// The `check` command: argv[0] is "check". Returns 0 when every file passes, 1 when any has a
/// problem or cannot be read, 2 on bad usage.
int runCheckCommand(int argc, const char* const* argv);

}  // namespace pw::cli
