// The pagewright command: a thin host over the module's public interface.
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "pagewright/fax_device.h"

#include "batch.h"
#include "console.h"
#include "conversion.h"
#include "encoding.h"
#include "input_source.h"
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
  font.lfWeight = options.bold ? PW_FW_BOLD : PW_FW_NORMAL;
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

std::string settingsLine(const ConvertOptions& options, const TextDecoding& decoding) {
  std::string line =
      "font " + options.fontFace + " " + std::to_string(options.fontPoints) + " pt" +
      (options.bold ? " bold" : "") + (options.italic ? " italic" : "") + ", charset " +
      std::to_string(options.charSet) + ", page " + std::to_string(options.paper.widthMm) + "x" +
      std::to_string(options.paper.heightMm) + " mm, margins " +
      std::to_string(options.marginTopMm) + "/" + std::to_string(options.marginRightMm) + "/" +
      std::to_string(options.marginBottomMm) + "/" + std::to_string(options.marginLeftMm) +
      " mm, markup " + (options.markup ? "on" : "off");
  line += ", text in " +
          (decoding.encoding.empty() ? "UTF-8 or " + decoding.fallback : decoding.encoding) +
          " drawn in " + decoding.codePage;
  return line;
}

// The code page the device draws in, the encoding of text without a mark that is no UTF-8, and
// an --encoding that iconv knows. False with a usage error in *error.
bool setUpDecoding(const ConvertOptions& options, TextDecoding* decoding, std::string* error) {
  decoding->codePage = pwCharSetCodePage(options.charSet);
  decoding->imageDirectory = options.imageDirectory;
  decoding->encoding = options.encoding;
  decoding->maxBytes = options.maxInputBytes;
  if (!options.encoding.empty() && !Transcoder::open(options.encoding, decoding->codePage, error)) {
    *error = "--encoding: " + *error;
    return false;
  }
  decoding->fallback = fallbackEncoding(localeCharset(), decoding->codePage);
  std::string ignored;
  if (!Transcoder::open(decoding->fallback, decoding->codePage, &ignored)) {
    decoding->fallback = decoding->codePage;
  }
  return true;
}

// Every value is UTF-8 when it is valid UTF-8, else in the fallback encoding.
void transcodeFields(const TextDecoding& decoding, JobFieldSet& fields, Console& console) {
  std::string error;
  std::optional<Transcoder> fromUtf8 = Transcoder::open("UTF-8", decoding.codePage, &error);
  std::optional<Transcoder> fromFallback =
      Transcoder::open(decoding.fallback, decoding.codePage, &error);
  if (!fromUtf8 || !fromFallback) return;
  fields.transcode(
      [&](const std::string& line) {
        return isUtf8(line) ? fromUtf8->convertWhole(line) : fromFallback->convertWhole(line);
      },
      [&](const std::string& field, const TranscodeResult& losses) {
        console.message(Severity::kWarning,
                        "field " + field + ": " +
                            describeReplacements(losses.unmappable, losses.malformed,
                                                 decoding.fallback, decoding.codePage));
      });
}

// A face that is not installed is drawn with another; say which, once for the run.
void warnOfFontSubstitution(const PwLogFont& font, Console& console) {
  char used[64] = "";
  if (font.lfFaceName[0] == '\0' || !pwFaxDeviceFontFamily(&font, used, sizeof used)) return;
  if (strcasecmp(used, font.lfFaceName) == 0) return;
  console.message(Severity::kWarning, std::string("font ") + font.lfFaceName +
                                          " is not installed; drawing with " + used);
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
  std::string error;
  if (!setUpDecoding(options, &settings.decoding, &error)) return usageError(error);
  // Field values come from JSON (UTF-8 by definition) or the command line.
  transcodeFields(settings.decoding, fields, console);

  // Standard input has no name to derive an output from, nor one to tell two outputs apart.
  const bool readsStandardInput =
      std::find(options.inputs.begin(), options.inputs.end(), "-") != options.inputs.end();
  if (readsStandardInput && (options.inputs.size() > 1 || options.output.empty())) {
    return usageError("standard input (-) is converted on its own, with -o naming the output");
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
  settings.device.format = plan.format;
  settings.device.resolution = options.resolution;
  settings.device.compression = options.compression;
  settings.device.paper = options.paper.devicePaper;
  settings.device.paperHeightMm = options.paper.heightMm;
  settings.format = plan.format;
  settings.fields = fields.empty() ? nullptr : &fields.view();
  settings.readableDirectories = options.readableDirectories;
  console.message(Severity::kInfo, settingsLine(options, settings.decoding));
  warnOfFontSubstitution(settings.params.font, console);
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
