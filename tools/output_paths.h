// Where each conversion writes: the format named by an extension, and one output per input.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pw::cli {

enum class OutputFormat { kTiff, kPdf, kPng };

/// The format an output name's extension stands for (.tif, .tiff, .pdf, .png, any case).
std::optional<OutputFormat> formatOfPath(const std::string& path);
std::optional<OutputFormat> formatOfName(const std::string& name);  ///< "tiff", "pdf", "png"
const char* extensionOf(OutputFormat format);                       ///< ".tif", ".pdf", ".png"

struct OutputPlan {
  OutputFormat format = OutputFormat::kTiff;
  std::vector<std::string> outputs;  ///< one per input, in input order
  std::string error;                 ///< non-empty when the request cannot be met
  bool createDirectory = false;      ///< the outputs go into a directory that is still missing
  std::string directory;
};

/// Plans the outputs: a single input writes to output (or beside itself when output is empty);
/// several inputs, or an output that is a directory or ends in "/", write stem + extension into
/// that directory. Two inputs that would write the same file are an error.
OutputPlan planOutputs(const std::vector<std::string>& inputs, const std::string& output,
                       std::optional<OutputFormat> format);

/// The file of page `page` (1-based) of a PNG output: "name-001.png", ...
std::string pngPagePath(const std::string& output, unsigned page);
/// The files of a PNG output of pageCount pages.
std::vector<std::string> pngPagePaths(const std::string& output, unsigned pageCount);

}  // namespace pw::cli
