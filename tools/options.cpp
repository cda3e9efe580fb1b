#include "options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "pagewright/fax_device.h"

#ifndef PAGEWRIGHT_VERSION
#define PAGEWRIGHT_VERSION "0.0.0"
#endif

namespace pw::cli {

namespace {

constexpr int kUsageStatus = 2;
constexpr uint32_t kMaxCustomHeightMm = 2000;  // the device's limit for a custom paper length
constexpr uint32_t kMaxWidthMm = 1000;
constexpr int32_t kMaxPoints = 1000;

std::string lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

const std::map<std::string, uint8_t>& charSetNames() {
  static const std::map<std::string, uint8_t> kNames = {
      {"ansi", 0},     {"easteurope", 238}, {"cyrillic", 204}, {"greek", 161}, {"turkish", 162},
      {"baltic", 186}, {"hebrew", 177},     {"arabic", 178},   {"thai", 222}};
  return kNames;
}

std::optional<uint32_t> parseNumber(const std::string& text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value;
}

// A decimal such as "215.9", rounded to the nearest whole number: HylaFAX gives page sizes in
// millimetres with a fraction (letter is 215.9x279.4).
std::optional<uint32_t> parseRoundedDecimal(const std::string& text) {
  const std::size_t point = text.find('.');
  const auto whole = parseNumber(text.substr(0, point));
  if (!whole) return std::nullopt;
  if (point == std::string::npos) return whole;
  const std::string fraction = text.substr(point + 1);
  if (fraction.empty() || fraction.size() > 4 ||
      fraction.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  return *whole + (fraction[0] >= '5' ? 1 : 0);
}

std::string fieldNameList() {
  std::string list;
  for (int index = 0; const char* name = pwFieldName(index); ++index) {
    list += index == 0 ? "" : (index % 8 == 0 ? ",\n  " : ", ");
    list += name;
  }
  return list;
}

std::string footer() {
  return "Field names:\n  " + fieldNameList() +
         "\n\nChecking a fax file:\n  pagewright check FILE.tif...   (pagewright check --help)\n"
         "\nOutputs:\n"
         "  A failed conversion leaves an existing output as it was; a successful one\n"
         "  replaces it, keeping its permission bits (a symbolic link is followed, a device or\n"
         "  FIFO written into). PNG and G3 write a file per page, NAME-001.png or NAME.001 on\n"
         "  (four digits from 1000 pages), and remove the files of the same name beyond the\n"
         "  last page, left by an earlier, longer run.\n"
         "\nReports of the converter are printed on standard error and also written to the\n"
         "system log. Exit status: 0 converted, 1 a conversion failed, 2 bad usage; 128 + N on\n"
         "signal N (130 SIGINT, 143 SIGTERM, 129 SIGHUP, 141 SIGPIPE), leaving no partial file.";
}

// Why a paper that parsePaper refused is refused: a size beyond the device's limits is named as
// that limit.
std::string paperProblem(const std::string& text) {
  const std::size_t by = lowered(text).find('x');
  if (by != std::string::npos) {
    const unsigned long width = std::strtoul(text.c_str(), nullptr, 10);
    const unsigned long height = std::strtoul(text.c_str() + by + 1, nullptr, 10);
    if (height > kMaxCustomHeightMm) {
      return "'" + text + "' is longer than " + std::to_string(kMaxCustomHeightMm) +
             " mm, the longest page the fax device draws";
    }
    if (width > kMaxWidthMm) {
      return "'" + text + "' is wider than " + std::to_string(kMaxWidthMm) + " mm, the widest page";
    }
  }
  return "unknown paper '" + text + "'";
}

// Checks that need several options at once; returns an error message or empty.
std::string crossCheck(const ConvertOptions& options) {
  if (options.fontFace.size() >= sizeof(PwLogFont{}.lfFaceName)) {
    return "--font: the face name is longer than 31 bytes";
  }
  if (options.marginLeftMm + options.marginRightMm >= options.paper.widthMm) {
    return "the left and right margins leave no room on a " +
           std::to_string(options.paper.widthMm) + " mm wide page";
  }
  if (options.format == PW_FAX_FORMAT_G3 && options.compression != PW_FAX_COMPRESSION_G3) {
    return "--compression: raw G3 pages are always coded 1-D";
  }
  if (options.marginTopMm + options.marginBottomMm >= options.paper.heightMm) {
    return "the top and bottom margins leave no room on a " +
           std::to_string(options.paper.heightMm) + " mm long page";
  }
  return {};
}

}  // namespace

std::optional<PaperSize> parsePaper(const std::string& text) {
  const std::string key = lowered(text);
  if (key == "a4") return PaperSize{210, 297, PW_FAX_PAPER_A4};
  if (key == "letter") return PaperSize{216, 279, PW_FAX_PAPER_LETTER};
  if (key == "legal") return PaperSize{216, 356, PW_FAX_PAPER_LEGAL};
  if (key == "b4") return PaperSize{250, 353, PW_FAX_PAPER_B4};
  const std::size_t by = key.find('x');
  if (by == std::string::npos) return std::nullopt;
  const auto width = parseRoundedDecimal(key.substr(0, by));
  const auto height = parseRoundedDecimal(key.substr(by + 1));
  if (!width || !height || *width == 0 || *width > kMaxWidthMm || *height == 0 ||
      *height > kMaxCustomHeightMm) {
    return std::nullopt;
  }
  return PaperSize{*width, *height, PW_FAX_PAPER_CUSTOM};
}

std::optional<uint32_t> parseResolution(const std::string& text) {
  const std::string key = lowered(text);
  if (key == "fine") return PW_FAX_RESOLUTION_FINE;
  if (key == "normal") return PW_FAX_RESOLUTION_NORMAL;
  // Lines per inch as fax servers pass them: HylaFAX's %V is "196.00".
  const std::size_t point = key.find('.');
  if (point != std::string::npos && key.find_first_not_of('0', point + 1) != std::string::npos) {
    return std::nullopt;
  }
  const auto linesPerInch = parseNumber(key.substr(0, point));
  if (linesPerInch == 196u) return PW_FAX_RESOLUTION_FINE;
  if (linesPerInch == 98u) return PW_FAX_RESOLUTION_NORMAL;
  return std::nullopt;
}

std::optional<uint32_t> parseCompression(const std::string& text) {
  const std::string key = lowered(text);
  if (key == "g3" || key == "1") return PW_FAX_COMPRESSION_G3;
  if (key == "g3-2d" || key == "2") return PW_FAX_COMPRESSION_G3_2D;
  if (key == "g4") return PW_FAX_COMPRESSION_G4;
  return std::nullopt;
}

std::optional<uint8_t> parseCharSet(const std::string& text) {
  const auto named = charSetNames().find(lowered(text));
  if (named != charSetNames().end()) return named->second;
  const auto number = parseNumber(text);
  if (number && *number <= 255) return static_cast<uint8_t>(*number);
  return std::nullopt;
}

std::optional<uint64_t> parseSize(const std::string& text) {
  static constexpr uint64_t kMaxSize = uint64_t{1} << 50;
  std::size_t digits = 0;
  uint64_t value = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9' && value < kMaxSize) {
    value = value * 10 + static_cast<uint64_t>(text[digits++] - '0');
  }
  if (digits == 0 || value == 0) return std::nullopt;
  const std::string unit = lowered(text.substr(digits));
  const int shift = unit.empty() ? 0 : unit == "k" ? 10 : unit == "m" ? 20 : unit == "g" ? 30 : -1;
  if (shift < 0 || value > (kMaxSize >> shift)) return std::nullopt;
  return value << shift;
}

ParseResult parseConvertCommandLine(int argc, const char* const* argv) {
  ConvertOptions options;
  CLI::App app{"Lays plain-text files out as fax pages (TIFF Class F, PDF, PNG or raw G3)",
               "pagewright"};
  app.option_defaults()->always_capture_default();
  // Wide enough that every option and its default stand apart from their description.
  app.get_formatter()->column_width(40);
  app.set_version_flag("--version", [] {
    return std::string("pagewright " PAGEWRIGHT_VERSION "\nlibrary ") + pwVersion();
  });
  app.footer(footer());

  std::string format, resolution = "fine", compression = "g3", paper = "a4", charSet = "ansi",
                      maxInput = "1G";
  uint32_t margins = 0;

  app.add_option("inputs", options.inputs, "Text files to convert; - reads standard input")
      ->required()
      ->default_str("");
  app.add_option("-o,--output", options.output,
                 "Output file (- for standard output: TIFF, or PDF with --format pdf), or the "
                 "directory for several inputs (created when missing); default: beside each input");
  app.add_option("--format", format,
                 "tiff, pdf, png or g3 (raw G3 pages OUTPUT.001, OUTPUT.002, ... for mgetty and "
                 "efax); default: from the output's extension")
      ->check(CLI::IsMember({"tiff", "tif", "pdf", "png", "g3"}, CLI::ignore_case));
  CLI::Option* resolutionOption =
      app.add_option("--resolution", resolution, "fine or 196 (lines per inch), normal or 98")
          ->check(CLI::Validator(
              [](std::string& value) {
                return parseResolution(value) ? std::string()
                                              : "unknown resolution '" + value + "'";
              },
              "RESOLUTION"));
  bool normalFlag = false;
  app.add_flag("-n", normalFlag, "Normal resolution, as fax spoolers ask for it")
      ->excludes(resolutionOption);
  app.add_option("--compression", compression, "TIFF coding: g3 or 1 (1-D), g3-2d or 2, g4")
      ->check(CLI::Validator(
          [](std::string& value) {
            return parseCompression(value) ? std::string() : "unknown compression '" + value + "'";
          },
          "CODING"));
  app.add_option("--paper", paper, "a4, letter, legal, b4 or WxH in millimetres (215.9x279.4)")
      ->check(CLI::Validator(
          [](std::string& value) {
            return parsePaper(value) ? std::string() : paperProblem(value);
          },
          "PAPER"));

  app.add_option("--font", options.fontFace, "Font face");
  app.add_option("--size", options.fontPoints, "Font size in points")
      ->check(CLI::Range(1, kMaxPoints));
  app.add_option("--width", options.fontWidthPoints, "Character width in points; 0: natural")
      ->check(CLI::Range(0, kMaxPoints));
  app.add_flag("--bold", options.bold, "Bold font");
  app.add_flag("--italic", options.italic, "Italic font");
  app.add_option("--charset", charSet,
                 "Character set: ansi, easteurope, cyrillic, greek, turkish, baltic, hebrew, "
                 "arabic, thai or a number 0-255")
      ->check(CLI::Validator(
          [](std::string& value) {
            return parseCharSet(value) ? std::string() : "unknown character set '" + value + "'";
          },
          "CHARSET"));
  app.add_option("--line-spacing", options.lineSpacingMm, "Space added between lines, mm");
  CLI::Option* allMargins =
      app.add_option("--margins", margins, "All four margins, mm (the options below win)")
          ->default_str("");
  CLI::Option* top = app.add_option("--margin-top", options.marginTopMm, "Top margin, mm");
  CLI::Option* bottom =
      app.add_option("--margin-bottom", options.marginBottomMm, "Bottom margin, mm");
  CLI::Option* left = app.add_option("--margin-left", options.marginLeftMm, "Left margin, mm");
  CLI::Option* right = app.add_option("--margin-right", options.marginRightMm, "Right margin, mm");
  app.add_flag("--markup,!--no-markup", options.markup,
               "Recognise markup: #BF/#NF bold, <ToName> placeholders, %0 inserts, #T...");
  app.add_option("--image-dir", options.imageDirectory, "Directory of referenced images")
      ->check(CLI::ExistingDirectory);
  app.add_option("--confine", options.readableDirectories,
                 "Let markup read images and %3 files only from inside DIR (repeatable; include "
                 "the --image-dir). Use it whenever the text or the fields come from people you "
                 "do not trust, such as mail-to-fax or web gateways: a reference that leads "
                 "elsewhere, by an absolute name, \"..\" or a symbolic link, fails as "
                 "\"Cannot open\" with access denied")
      ->type_name("DIR")
      ->check(CLI::ExistingDirectory)
      ->allow_extra_args(false)
      ->default_str("");

  app.add_option("--field", options.fields,
                 "Job field NAME=VALUE (repeatable; line breaks in VALUE give several lines)")
      ->allow_extra_args(false)
      ->default_str("");
  app.add_option("--fields", options.fieldsFile,
                 "JSON job file: {\"NAME\": \"value\" or [\"line\", ...]}; --field wins")
      ->check(CLI::ExistingFile);
  app.add_option("--encoding", options.encoding,
                 "Encoding of the input and of %3 files (utf-8, utf-16, cp1252, latin1, ...). "
                 "Default: a byte-order mark decides (UTF-8, UTF-16LE/BE), else text that is "
                 "valid UTF-8 is UTF-8, else it is in the locale's character set, else in the "
                 "--charset's code page. Field values are UTF-8. Text is transcoded to the "
                 "--charset's code page; characters it lacks become '?' with a warning")
      ->default_str("");

  app.add_option("--max-input", maxInput,
                 "The most an input may hold (K, M, G: binary units), so that an endless one "
                 "such as /dev/zero ends")
      ->check(CLI::Validator(
          [](std::string& value) {
            return parseSize(value) ? std::string() : "not a size: '" + value + "'";
          },
          "SIZE"));

  app.add_option("-j,--jobs", options.jobs, "Conversions run in parallel")
      ->check(CLI::Range(1u, 256u));
  bool quietFlag = false;
  bool verboseFlag = false;
  CLI::Option* quiet = app.add_flag("-q,--quiet", quietFlag, "Print errors only");
  CLI::Option* verbose = app.add_flag("-v,--verbose", verboseFlag,
                                      "Print information reports and the settings used too");
  quiet->excludes(verbose);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return {std::nullopt, app.exit(e)};
  } catch (const CLI::CallForAllHelp& e) {
    return {std::nullopt, app.exit(e)};
  } catch (const CLI::CallForVersion& e) {
    return {std::nullopt, app.exit(e)};
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return {std::nullopt, kUsageStatus};
  }

  if (!format.empty()) options.format = formatOfName(format);
  options.resolution = normalFlag ? PW_FAX_RESOLUTION_NORMAL : *parseResolution(resolution);
  options.compression = *parseCompression(compression);
  options.paper = *parsePaper(paper);
  options.charSet = *parseCharSet(charSet);
  options.maxInputBytes = *parseSize(maxInput);
  if (allMargins->count() > 0) {
    if (top->count() == 0) options.marginTopMm = margins;
    if (bottom->count() == 0) options.marginBottomMm = margins;
    if (left->count() == 0) options.marginLeftMm = margins;
    if (right->count() == 0) options.marginRightMm = margins;
  }
  if (quietFlag) options.verbosity = Verbosity::kQuiet;
  if (verboseFlag) options.verbosity = Verbosity::kVerbose;

  if (const std::string problem = crossCheck(options); !problem.empty()) {
    std::fprintf(stderr, "%s\nRun with --help for more information.\n", problem.c_str());
    return {std::nullopt, kUsageStatus};
  }
  return {std::move(options), 0};
}

}  // namespace pw::cli
