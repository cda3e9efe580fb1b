// The command line of the converter: every page-description field, the device's choices, the job
// fields and how reports are shown.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "output_paths.h"

namespace pw::cli {

enum class Verbosity { kQuiet, kNormal, kVerbose };

/// The paper: the page width given to the layout and the length given to the device.
struct PaperSize {
  uint32_t widthMm = 210;
  uint32_t heightMm = 297;
  uint32_t devicePaper = 0;  ///< PW_FAX_PAPER_...
};

struct ConvertOptions {
  std::vector<std::string> inputs;
  std::string output;  ///< empty: next to each input
  std::optional<uint32_t> format;
  uint32_t resolution = 0;   ///< PW_FAX_RESOLUTION_...
  uint32_t compression = 0;  ///< PW_FAX_COMPRESSION_...
  PaperSize paper;

  std::string fontFace = "Liberation Mono";
  int32_t fontPoints = 10;
  int32_t fontWidthPoints = 0;
  bool bold = false;
  bool italic = false;
  uint8_t charSet = 0;
  uint32_t lineSpacingMm = 0;
  uint32_t marginTopMm = 15;  // clear of the header line a fax machine prints
  uint32_t marginBottomMm = 10;
  uint32_t marginLeftMm = 10;
  uint32_t marginRightMm = 10;
  bool markup = false;
  std::string imageDirectory;
  std::vector<std::string>
      readableDirectories;  ///< --confine: where markup may read; empty: anywhere

  std::vector<std::string> fields;  ///< --field NAME=VALUE arguments, in order
  std::string fieldsFile;
  std::string encoding;  ///< empty: told from the text
  /// --max-input. An input of 1 GiB would make some 150,000 pages, more than a TIFF file holds;
  /// the limit ends an endless one (/dev/zero, a runaway pipe).
  uint64_t maxInputBytes = uint64_t{1} << 30;

  unsigned jobs = 1;
  Verbosity verbosity = Verbosity::kNormal;
};

/// The outcome of reading the command line: options to run with, or an exit status to leave with
/// (0 after --help or --version, 2 after a usage error, whose message is already printed).
struct ParseResult {
  std::optional<ConvertOptions> options;
  int exitStatus = 0;
};

ParseResult parseConvertCommandLine(int argc, const char* const* argv);

/// "a4", "letter", "legal", "b4" or "WxH" in millimetres, each rounded to a whole one
/// ("215.9x279.4" is 216x279); nullopt for anything else.
std::optional<PaperSize> parsePaper(const std::string& text);

/// "fine" or "196", "normal" or "98" (any case; "196.00" too): PW_FAX_RESOLUTION_...
std::optional<uint32_t> parseResolution(const std::string& text);

/// "g3" or "1", "g3-2d" or "2", "g4" (any case): PW_FAX_COMPRESSION_...
std::optional<uint32_t> parseCompression(const std::string& text);

/// A character-set name ("ansi", "cyrillic", ...) or a number from 0 to 255.
std::optional<uint8_t> parseCharSet(const std::string& text);

/// A size in bytes, with K, M or G for binary kilo-, mega- and gigabytes: "1G", "512K", "4096".
std::optional<uint64_t> parseSize(const std::string& text);

}  // namespace pw::cli
