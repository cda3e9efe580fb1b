// Where each conversion writes: the format named by an extension, and one output per input.
#pragma once

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

struct OutputPlan {
  OutputFormat format = OutputFormat::kTiff;
  std::vector<std::string> outputs;  ///< one per input, in input order
  std::string error;                 ///< non-empty when the request cannot be met
  bool createDirectory = false;      ///< the outputs go into a directory that is still missing
  std::string directory;
};

/// Plans the outputs: a single input writes to output (or beside itself when output is empty);
/// several inputs, or an output that is a directory or ends in "/", write stem + extension into
/// that directory. Two inputs that would write the same file are an error. A G3 output is the
/// name its pages' files begin with, whatever it ends in.
OutputPlan planOutputs(const std::vector<std::string>& inputs, const std::string& output,
                       std::optional<OutputFormat> format);

/// The file of page `page` (1-based) of a PNG output: "name-001.png", ...
std::string pngPagePath(const std::string& output, unsigned page);
/// The files of a PNG output of pageCount pages.
std::vector<std::string> pngPagePaths(const std::string& output, unsigned pageCount);
/// The file of page `page` (1-based) of a G3 output: "name.001", ...
std::string g3PagePath(const std::string& output, unsigned page);

}  // namespace pw::cli
