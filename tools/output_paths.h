// Where each conversion writes: the format named by an extension, and one output per input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pw::cli {

enum class OutputFormat { kTiff, kPdf, kPng, kG3 };

/// The format an output name's extension stands for (.tif, .tiff, .pdf, .png, any case).
std::optional<OutputFormat> formatOfPath(const std::string& path);
std::optional<OutputFormat> formatOfName(const std::string& name);  ///< "tiff", "pdf", "png", "g3"
/// ".tif", ".pdf", ".png"; "" for G3, whose output names its pages' files without an extension.
const char* extensionOf(OutputFormat format);
uint32_t deviceFormatOf(OutputFormat format);  ///< PW_FAX_FORMAT_...
/// Whether the format writes a file per page rather than one file.
bool writesFilePerPage(OutputFormat format);

/// The output name that stands for standard output.
inline constexpr char kStandardOutput[] = "-";

struct OutputPlan {
  OutputFormat format = OutputFormat::kTiff;
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
                       std::optional<OutputFormat> format);
}  // namespace pw::cli
