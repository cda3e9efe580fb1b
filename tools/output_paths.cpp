#include "output_paths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>

#include "pagewright/fax_device.h"

namespace fs = std::filesystem;

namespace pw::cli {

namespace {

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

bool namesDirectory(const std::string& output) {
  if (output.empty()) return false;
  if (output.back() == '/') return true;
  std::error_code error;
  return fs::is_directory(output, error);
}

struct FormatTraits {
  uint32_t format;
  const char* name;
  const char* extension;  // "" for G3, whose output names its pages' files as it is
  bool filePerPage;
};

constexpr FormatTraits kFormats[] = {
    {PW_FAX_FORMAT_TIFF, "tif", ".tif", false},
    {PW_FAX_FORMAT_PDF, "pdf", ".pdf", false},
    {PW_FAX_FORMAT_PNG, "png", ".png", true},
    {PW_FAX_FORMAT_G3, "g3", "", true},
};

const FormatTraits& traitsOf(uint32_t format) {
  for (const FormatTraits& traits : kFormats) {
    if (traits.format == format) return traits;
  }
  return kFormats[0];
}

std::string formatName(uint32_t format) {
  return traitsOf(format).name;
}

}  // namespace

std::optional<uint32_t> formatOfPath(const std::string& path) {
  const std::string extension = lowered(fs::path(path).extension().string());
  if (extension == ".tif" || extension == ".tiff") return PW_FAX_FORMAT_TIFF;
  if (extension == ".pdf") return PW_FAX_FORMAT_PDF;
  if (extension == ".png") return PW_FAX_FORMAT_PNG;
  return std::nullopt;
}

std::optional<uint32_t> formatOfName(const std::string& name) {
  const std::string key = lowered(name);
  if (key == "tiff" || key == "tif") return PW_FAX_FORMAT_TIFF;
  if (key == "pdf") return PW_FAX_FORMAT_PDF;
  if (key == "png") return PW_FAX_FORMAT_PNG;
  if (key == "g3") return PW_FAX_FORMAT_G3;
  return std::nullopt;
}

const char* extensionOf(uint32_t format) {
  return traitsOf(format).extension;
}

bool writesFilePerPage(uint32_t format) {
  return traitsOf(format).filePerPage;
}

OutputPlan planOutputs(const std::vector<std::string>& inputs, const std::string& output,
                       std::optional<uint32_t> format) {
  OutputPlan plan;
  if (output == kStandardOutput) {
    plan.format = format.value_or(PW_FAX_FORMAT_TIFF);
    if (inputs.size() > 1) {
      plan.error = "-o - writes a single input to standard output";
    } else if (writesFilePerPage(plan.format)) {
      plan.error = "-o -: " + formatName(plan.format) +
                   " writes a file per page, standard output takes one file (tiff or pdf)";
    } else {
      plan.outputs.push_back(output);
    }
    return plan;
  }
  const bool intoDirectory = inputs.size() > 1 || namesDirectory(output);
  if (!intoDirectory && !output.empty() && format == PW_FAX_FORMAT_G3) {
    plan.format = *format;
    plan.outputs.push_back(output);
    return plan;
  }
  if (!intoDirectory && !output.empty()) {
    const std::optional<uint32_t> byExtension = formatOfPath(output);
    if (format && byExtension && *format != *byExtension) {
      plan.error = "--format " + formatName(*format) + " contradicts the extension of " + output;
      return plan;
    }
    if (!format && !byExtension) {
      plan.error = "cannot tell the format of " + output + " from its extension; use --format";
      return plan;
    }
    plan.format = format ? *format : *byExtension;
    plan.outputs.push_back(output);
    return plan;
  }

  plan.format = format.value_or(PW_FAX_FORMAT_TIFF);
  if (intoDirectory && !output.empty()) {
    plan.directory = output;
    std::error_code error;
    plan.createDirectory = !fs::exists(output, error);
  }
  // Inputs with the same stem would overwrite each other's output without this check.
  std::map<std::string, std::string> writers;
  for (const std::string& input : inputs) {
    fs::path target = output.empty() ? fs::path(input).parent_path() : fs::path(output);
    target /= fs::path(input).stem().string() + extensionOf(plan.format);
    const std::string path = target.lexically_normal().string();
    auto [it, inserted] = writers.emplace(path, input);
    if (!inserted) {
      plan.error = "inputs " + it->second + " and " + input + " would both write " + path;
      plan.outputs.clear();
      return plan;
    }
    plan.outputs.push_back(path);
  }
  return plan;
}

}  // namespace pw::cli
