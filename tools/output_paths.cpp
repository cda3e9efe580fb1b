#include "output_paths.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace pw::cli {

namespace {

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string formatName(OutputFormat format) {
  return format == OutputFormat::kG3 ? "g3" : extensionOf(format) + 1;
}

bool namesDirectory(const std::string& output) {
  if (output.empty()) return false;
  if (output.back() == '/') return true;
  std::error_code error;
  return fs::is_directory(output, error);
}

}  // namespace

std::optional<OutputFormat> formatOfPath(const std::string& path) {
  const std::string extension = lowered(fs::path(path).extension().string());
  if (extension == ".tif" || extension == ".tiff") return OutputFormat::kTiff;
  if (extension == ".pdf") return OutputFormat::kPdf;
  if (extension == ".png") return OutputFormat::kPng;
  return std::nullopt;
}

std::optional<OutputFormat> formatOfName(const std::string& name) {
  const std::string key = lowered(name);
  if (key == "tiff" || key == "tif") return OutputFormat::kTiff;
  if (key == "pdf") return OutputFormat::kPdf;
  if (key == "png") return OutputFormat::kPng;
  if (key == "g3") return OutputFormat::kG3;
  return std::nullopt;
}

const char* extensionOf(OutputFormat format) {
  switch (format) {
    case OutputFormat::kPdf:
      return ".pdf";
    case OutputFormat::kPng:
      return ".png";
    case OutputFormat::kG3:
      return "";
    case OutputFormat::kTiff:
      break;
  }
  return ".tif";
}

OutputPlan planOutputs(const std::vector<std::string>& inputs, const std::string& output,
                       std::optional<OutputFormat> format) {
  OutputPlan plan;
  const bool intoDirectory = inputs.size() > 1 || namesDirectory(output);
  if (!intoDirectory && !output.empty() && format == OutputFormat::kG3) {
    plan.format = *format;
    plan.outputs.push_back(output);
    return plan;
  }
  if (!intoDirectory && !output.empty()) {
    const std::optional<OutputFormat> byExtension = formatOfPath(output);
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

  plan.format = format.value_or(OutputFormat::kTiff);
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

std::string pngPagePath(const std::string& output, unsigned page) {
  const fs::path path(output);
  const std::string extension =
      path.has_extension() ? path.extension().string() : std::string(".png");
  const fs::path stem = path.has_extension() ? fs::path(output).replace_extension() : path;
  char digits[16];
  std::snprintf(digits, sizeof digits, "-%03u", page);
  return stem.string() + digits + extension;
}

std::vector<std::string> pngPagePaths(const std::string& output, unsigned pageCount) {
  std::vector<std::string> pages;
  for (unsigned page = 1; page <= pageCount; ++page) pages.push_back(pngPagePath(output, page));
  return pages;
}

std::string g3PagePath(const std::string& output, unsigned page) {
  char digits[16];
  std::snprintf(digits, sizeof digits, ".%03u", page);
  return output + digits;
}

}  // namespace pw::cli
