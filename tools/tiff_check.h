// `pagewright check`: whether a TIFF file meets the Class F profile that fax software expects.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace pw::cli {

struct TiffCheckResult {
  bool opened = false;
  unsigned pages = 0;
  std::size_t problems = 0;
};

/// Receives each problem as it is found, naming the page and the tag or row at fault.
using ProblemReport = std::function<void(const std::string& problem)>;

/// Reads every page of the file at path and reports each departure from Class F: width 1728, one
/// bit per sample, min-is-white, CCITT Group 3 or 4, 204 x 196 or 98 dots per inch, one strip per
/// page, a fill order, page numbers n of total, and the page subfile type; and the first row, in
/// the first page where one does, that libtiff cannot decode cleanly. Memory does not grow with
/// the page count.
TiffCheckResult checkTiff(const std::string& path, const ProblemReport& report);

/// The `check` command: argv[0] is "check". Returns 0 when every file passes, 1 when any has a
/// problem or cannot be read, 2 on bad usage.
int runCheckCommand(int argc, const char* const* argv);

}  // namespace pw::cli
