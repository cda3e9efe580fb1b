// Where each conversion writes: the format named by an extension, and one output per input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pagewright/fax_device.h"

namespace pw::cli {

// Formats are the fax device's own, PW_FAX_FORMAT_...

/// The format an output name's extension stands for (.tif, .tiff, .pdf, .png, any case).
std::optional<uint32_t> formatOfPath(const std::string& path);
std::optional<uint32_t> formatOfName(const std::string& name);  ///< "tiff", "pdf", "png", "g3"
/// ".tif", ".pdf", ".png"; "" for G3, whose output names its pages' files without an extension.
const char* extensionOf(uint32_t format);
/// Whether the format writes a file per page rather than one file.
bool writesFilePerPage(uint32_t format);

/// The output name that stands for standard output.
inline constexpr char kStandardOutput[] = "-";

struct OutputPlan {
  uint32_t format = PW_FAX_FORMAT_TIFF;
  std::vector<std::string> outputs;  ///< one per input, in input order
  std::string error;                 ///< non-empty when the request cannot be met
  bool createDirectory = false;      ///< the outputs go into a directory that is still missing
  std::string directory;
};

/// Plans the outputs: a single input writes to output (or beside itself when output is empty;
/// "-" is standard output, TIFF unless --format says otherwise); several inputs, or an output
/// that is a directory or ends in "/", write stem + extension into that directory. Two inputs
/// that would write the same file are an error. A G3 output is the name its pages' files begin
/// with, whatever it ends in.
OutputPlan planOutputs(const std::vector<std::string>& inputs, const std::string& output,
                       std::optional<uint32_t> format);
}  // namespace pw::cli
