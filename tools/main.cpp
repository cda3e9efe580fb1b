// The pagewright command: a thin host over the module's public interface.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "pagewright/fax_device.h"

#include "batch.h"
#include "console.h"
#include "conversion.h"
#include "encoding.h"
#include "interruption.h"
#include "job_fields.h"
#include "options.h"
#include "output_paths.h"
#include "report_sink.h"
#include "tiff_check.h"

namespace {

using namespace pw::cli;

constexpr int kFailedStatus = 1;
constexpr int kUsageStatus = 2;
constexpr uint32_t kEveryLevel = 0xFFFFFFFF;
constexpr uint8_t kFixedPitchModern = 0x31;  // FIXED_PITCH | FF_MODERN
constexpr int32_t kNormalWeight = 400;
constexpr int32_t kBoldWeight = 700;
constexpr const char* kDefaultFace = "Liberation Mono";

// Font matches kept between runs spare each short job loading fontconfig: the user's cache
// directory, $XDG_CACHE_HOME or ~/.cache.
void keepFontMatches() {
  const char* cacheHome = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  std::string path;
  if (cacheHome && *cacheHome == '/') {
    path = std::string(cacheHome) + "/pagewright/font-matches";
  } else if (home && *home == '/') {
    path = std::string(home) + "/.cache/pagewright/font-matches";
  }
  if (!path.empty()) pwSetFontMatchCache(path.c_str());
}

int usageError(const std::string& text) {
  std::fprintf(stderr, "%s\nRun with --help for more information.\n", text.c_str());
  return kUsageStatus;
}

RenderParams renderParams(const ConvertOptions& options) {
  RenderParams params{};
  PwLogFont& font = params.font;
  font.lfHeight = options.fontPoints;
  font.lfWidth = options.fontWidthPoints;
  font.lfWeight = options.bold ? kBoldWeight : kNormalWeight;
  font.lfItalic = options.italic ? 1 : 0;
  font.lfCharSet = options.charSet;
  // The default face asks for a monospace fallback; a chosen face is left to decide alone.
  font.lfPitchAndFamily = options.fontFace == kDefaultFace ? kFixedPitchModern : 0;
  std::strncpy(font.lfFaceName, options.fontFace.c_str(), sizeof font.lfFaceName - 1);
  params.lineSpacingMm = options.lineSpacingMm;
  params.pageWidthMm = options.paper.widthMm;
  params.pageHeightMm = options.paper.heightMm;
  params.topMarginMm = options.marginTopMm;
  params.bottomMarginMm = options.marginBottomMm;
  params.leftMarginMm = options.marginLeftMm;
  params.rightMarginMm = options.marginRightMm;
  params.directivesEnabled = options.markup ? 1 : 0;
  params.imageDirectory = options.imageDirectory.empty() ? nullptr : options.imageDirectory.c_str();
  return params;
}

std::string settingsLine(const ConvertOptions& options, const char* codePage) {
  std::string line =
      "font " + options.fontFace + " " + std::to_string(options.fontPoints) + " pt" +
      (options.bold ? " bold" : "") + (options.italic ? " italic" : "") + ", charset " +
      std::to_string(options.charSet) + ", page " + std::to_string(options.paper.widthMm) + "x" +
      std::to_string(options.paper.heightMm) + " mm, margins " +
      std::to_string(options.marginTopMm) + "/" + std::to_string(options.marginRightMm) + "/" +
      std::to_string(options.marginBottomMm) + "/" + std::to_string(options.marginLeftMm) +
      " mm, markup " + (options.markup ? "on" : "off");
  if (codePage) line += ", " + options.encoding + " to " + codePage;
  return line;
}

int convert(const ConvertOptions& options) {
  keepFontMatches();
  Console console(options.verbosity, stderrIsTerminal());
  const ReportSinkGuard sink(console);
  if (options.verbosity == Verbosity::kVerbose) setLogging(kEveryLevel);

  JobFieldSet fields;
  if (!options.fieldsFile.empty()) {
    if (std::string error = fields.loadJsonFile(options.fieldsFile); !error.empty()) {
      return usageError(error);
    }
  }
  for (const std::string& argument : options.fields) {
    if (std::string error = fields.setFromArgument(argument); !error.empty()) {
      return usageError(error);
    }
  }

  ConversionSettings settings;
  const char* codePage = nullptr;
  if (!options.encoding.empty()) {
    // The device draws high bytes in this code page, so the text is transcoded to exactly it.
    codePage = pwCharSetCodePage(options.charSet);
    // Opened once here so that a misspelt encoding is a usage error, not one failure per input.
    std::string error;
    const std::optional<Transcoder> transcoder =
        Transcoder::open(options.encoding, codePage, &error);
    if (!transcoder) return usageError("--encoding: " + error);
    // Field values come from JSON or a UTF-8 terminal, whatever the input file's encoding.
    const std::optional<Transcoder> fromUtf8 = Transcoder::open("UTF-8", codePage, &error);
    if (!fromUtf8) return usageError("--encoding: " + error);
    fields.transcode(
        *fromUtf8,
        [&console](const std::string& field, const std::string& note) {
          console.message(Severity::kWarning, "field " + field + ": " + note);
        },
        "UTF-8", codePage);
    settings.encoding = options.encoding;
    settings.codePage = codePage;
  }

  const OutputPlan plan = planOutputs(options.inputs, options.output, options.format);
  if (!plan.error.empty()) return usageError(plan.error);
  if (options.output == kStandardOutput) console.resultsOnStandardError();
  if (plan.createDirectory) {
    std::error_code error;
    std::filesystem::create_directories(plan.directory, error);
    if (error) {
      console.message(Severity::kError,
                      "cannot create directory " + plan.directory + ": " + error.message());
      return kFailedStatus;
    }
  }

  settings.params = renderParams(options);
  settings.device.format = deviceFormatOf(plan.format);
  settings.device.resolution = options.resolution;
  settings.device.compression = options.compression;
  settings.device.paper = options.paper.devicePaper;
  settings.device.paperHeightMm = options.paper.heightMm;
  settings.format = plan.format;
  settings.fields = fields.empty() ? nullptr : &fields.view();
  settings.readableDirectories = options.readableDirectories;
  console.message(Severity::kInfo, settingsLine(options, codePage));
  return runConversions(options.inputs, plan.outputs, settings, options.jobs, console);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "check") == 0) return runCheckCommand(argc - 1, argv + 1);
  handleInterruptions();
  const ParseResult parsed = parseConvertCommandLine(argc, argv);
  if (!parsed.options) return parsed.exitStatus;
  return convert(*parsed.options);
}
