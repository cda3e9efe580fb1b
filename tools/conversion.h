// One conversion: a text file through the module onto its own fax device, leaving either a
// complete output or none.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console.h"
#include "input_source.h"
#include "output_paths.h"
#include "pagewright/fax_device.h"
#include "pagewright/pagewright.h"

namespace pw::cli {

/// What every conversion of a run shares; read-only while conversions run.
struct ConversionSettings {
  RenderParams params{};
  PwFaxDeviceOptions device{};  ///< outputPath is set per conversion
  uint32_t format = PW_FAX_FORMAT_TIFF;
  const JobFields* fields = nullptr;
  TextDecoding decoding;                         ///< how the input and inserted files are read
  std::vector<std::string> readableDirectories;  ///< where markup may read; empty: anywhere
};

struct ConversionResult {
  bool ok = false;
  uint32_t pages = 0;
  std::string written;  ///< the files written ("fax.tif", "m-001.png ... m-003.png")
  std::string problem;  ///< why it failed, naming the last-error value's text
};

/// Converts input to output (a path or kStandardOutput); an older output is replaced only when
/// the conversion succeeds. Reports and warnings go to console; the result line is left to the
/// caller.
ConversionResult convertFile(const std::string& input, const std::string& output,
                             const ConversionSettings& settings, Console& console);

/// "1 page", "3 pages".
std::string pagesText(uint32_t pages);

}  // namespace pw::cli
