#include "tiff_check.h"

#include <tiffio.h>

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <regex>
#include <vector>

namespace pw::cli {

namespace {

constexpr uint32_t kFaxWidth = 1728;
constexpr float kDpiX = 204;
constexpr float kDpiFine = 196;
constexpr float kDpiNormal = 98;
constexpr float kDpiTolerance = 2;  // writers round 7.7 and 3.85 lines per mm differently
constexpr int kUsageStatus = 2;

// libtiff's messages, kept until the check reports them. Warnings count only while pages are
// decoded, where a line of the wrong length is what makes fax software give up.
struct Messages {
  std::vector<std::string> pending;
  bool keepWarnings = false;

  // The first message since the last call, if any; the rest are dropped.
  std::optional<std::string> take() {
    std::optional<std::string> first;
    if (!pending.empty()) first = pending.front();
    pending.clear();
    return first;
  }
};

// The module is a function or the file's name, which the check's own lines already give.
void keep(Messages* messages, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  messages->pending.emplace_back(text);
}

int collectError(TIFF*, void* user, const char*, const char* format, va_list args) {
  keep(static_cast<Messages*>(user), format, args);
  return 1;  // handled: nothing reaches libtiff's default handler on stderr
}

int collectWarning(TIFF*, void* user, const char*, const char* format, va_list args) {
  auto* messages = static_cast<Messages*>(user);
  if (messages->keepWarnings) keep(messages, format, args);
  return 1;
}

std::string compressionName(uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE:
      return "none";
    case COMPRESSION_CCITTRLE:
      return "CCITT modified Huffman";
    case COMPRESSION_LZW:
      return "LZW";
    case COMPRESSION_PACKBITS:
      return "PackBits";
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
      return "Deflate";
    default:
      return std::to_string(compression);
  }
}

bool near(float value, float wanted) {
  return std::fabs(value - wanted) <= kDpiTolerance;
}

// Reports the problems of the current directory, page `page` (1-based) of `total`.
void checkPage(TIFF* tiff, unsigned page, unsigned total,
               const std::function<void(const std::string&)>& report) {
  const std::string where = "page " + std::to_string(page) + ": ";
  auto problem = [&](const std::string& text) { report(where + text); };

  uint32_t width = 0;
  if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width)) {
    problem("ImageWidth is missing");
  } else if (width != kFaxWidth) {
    problem("ImageWidth is " + std::to_string(width) + ", expected 1728");
  }
  uint16_t bits = 0;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  if (bits != 1) problem("BitsPerSample is " + std::to_string(bits) + ", expected 1");
  uint16_t samples = 0;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  if (samples != 1) problem("SamplesPerPixel is " + std::to_string(samples) + ", expected 1");

  uint16_t photometric = 0;
  if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) {
    problem("PhotometricInterpretation is missing, expected min-is-white");
  } else if (photometric != PHOTOMETRIC_MINISWHITE) {
    problem("PhotometricInterpretation is " + std::to_string(photometric) +
            ", expected 0 (min-is-white)");
  }

  uint16_t compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  if (compression != COMPRESSION_CCITTFAX3 && compression != COMPRESSION_CCITTFAX4) {
    problem("Compression is " + compressionName(compression) +
            ", expected CCITT Group 3 or Group 4");
  }

  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  float xres = 0;
  float yres = 0;
  const bool hasX = TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xres) == 1;
  const bool hasY = TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &yres) == 1;
  if (unit != RESUNIT_INCH) {
    problem("ResolutionUnit is " + std::to_string(unit) + ", expected 2 (inch)");
  }
  if (!hasX || !near(xres, kDpiX)) {
    problem(hasX ? "XResolution is " + std::to_string(std::lround(xres)) + ", expected 204"
                 : "XResolution is missing");
  }
  if (!hasY || !(near(yres, kDpiFine) || near(yres, kDpiNormal))) {
    problem(hasY ? "YResolution is " + std::to_string(std::lround(yres)) + ", expected 196 or 98"
                 : "YResolution is missing");
  }

  if (TIFFIsTiled(tiff)) {
    problem("the page is tiled, expected one strip");
  } else if (const uint32_t strips = TIFFNumberOfStrips(tiff); strips != 1) {
    problem(std::to_string(strips) + " strips, expected one strip per page");
  }

  uint16_t fillOrder = 0;
  if (!TIFFGetField(tiff, TIFFTAG_FILLORDER, &fillOrder)) problem("FillOrder is missing");

  uint16_t number = 0;
  uint16_t count = 0;
  if (!TIFFGetField(tiff, TIFFTAG_PAGENUMBER, &number, &count)) {
    problem("PageNumber is missing");
  } else if (number != page - 1 || count != total) {
    problem("PageNumber is " + std::to_string(number) + "/" + std::to_string(count) +
            ", expected " + std::to_string(page - 1) + "/" + std::to_string(total));
  }

  uint32_t subfileType = 0;
  if (!TIFFGetField(tiff, TIFFTAG_SUBFILETYPE, &subfileType)) {
    problem("NewSubfileType is missing, expected 2 (page)");
  } else if (subfileType != FILETYPE_PAGE) {
    problem("NewSubfileType is " + std::to_string(subfileType) + ", expected 2 (page)");
  }
}

// Decodes every row of the current page; the first row that fails and why, or nullopt.
std::optional<std::string> decodeFailure(TIFF* tiff, Messages& messages) {
  uint32_t rows = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &rows);
  const tmsize_t size = TIFFScanlineSize(tiff);
  if (size <= 0) return "cannot be decoded: " + messages.take().value_or("no row size");
  std::vector<uint8_t> row(static_cast<size_t>(size));
  messages.keepWarnings = true;
  std::optional<std::string> failure;
  for (uint32_t y = 0; y < rows && !failure; ++y) {
    const bool read = TIFFReadScanline(tiff, row.data(), y, 0) >= 0;
    std::optional<std::string> message = messages.take();
    if (!read || message) {
      // libtiff counts lines from 0 within the strip; the report counts rows from 1, as pages.
      static const std::regex kLibtiffLine(" at line [0-9]+ of (strip|tile) [0-9]+");
      failure = "row " + std::to_string(y + 1) + " cannot be decoded: " +
                std::regex_replace(message.value_or("libtiff gives no reason"), kLibtiffLine, "");
    }
  }
  messages.keepWarnings = false;
  return failure;
}

}  // namespace

TiffCheckResult checkTiff(const std::string& path, const ProblemReport& report) {
  TiffCheckResult result;
  auto problem = [&](const std::string& text) {
    ++result.problems;
    report(text);
  };
  Messages messages;
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> openOptions(TIFFOpenOptionsAlloc(),
                                                                           TIFFOpenOptionsFree);
  TIFFOpenOptionsSetErrorHandlerExtR(openOptions.get(), collectError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(openOptions.get(), collectWarning, &messages);
  std::unique_ptr<TIFF, decltype(&TIFFClose)> tiff(
      TIFFOpenExt(path.c_str(), "r", openOptions.get()), &TIFFClose);
  if (!tiff) {
    problem(messages.take().value_or("cannot open the file"));
    return result;
  }
  result.opened = true;

  // PageNumber must hold the total, so count the pages before checking any. libtiff stops at a
  // directory chain that loops back.
  const unsigned total = TIFFNumberOfDirectories(tiff.get());
  if (const auto message = messages.take()) problem("libtiff: " + *message);
  result.pages = total;
  // Pages are read in order, one directory at a time, so that memory does not grow with them.
  bool decoding = true;
  for (unsigned page = 1; page <= total; ++page) {
    const bool read = page == 1 ? TIFFSetDirectory(tiff.get(), 0) : TIFFReadDirectory(tiff.get());
    const std::string where = "page " + std::to_string(page) + ": ";
    if (!read) {
      problem(where + messages.take().value_or("cannot be read"));
      break;
    }
    if (const auto message = messages.take()) problem(where + "libtiff: " + *message);
    checkPage(tiff.get(), page, total, problem);
    // Only the first page that fails to decode is reported; later ones rarely add anything.
    if (decoding && !TIFFIsTiled(tiff.get())) {
      if (const auto failure = decodeFailure(tiff.get(), messages)) {
        problem(where + *failure);
        decoding = false;
      }
    }
  }
  return result;
}

int runCheckCommand(int argc, const char* const* argv) {
  CLI::App app{"Checks that TIFF files meet the Class F fax profile and decode cleanly",
               "pagewright check"};
  std::vector<std::string> files;
  bool quiet = false;
  app.add_option("files", files, "TIFF files to check")->required()->check(CLI::ExistingFile);
  app.add_flag("-q,--quiet", quiet, "Print problems only");
  app.footer("Exit status: 0 when every file passes, 1 when any has a problem, 2 bad usage.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kUsageStatus;
  }

  int status = 0;
  for (const std::string& file : files) {
    const TiffCheckResult result = checkTiff(file, [&file](const std::string& problem) {
      std::printf("%s: %s\n", file.c_str(), problem.c_str());
    });
    if (result.problems == 0) {
      if (!quiet) {
        std::printf("%s: OK, Class F, %u %s\n", file.c_str(), result.pages,
                    result.pages == 1 ? "page" : "pages");
      }
      continue;
    }
    status = 1;
    std::printf("%s: not Class F, %zu %s\n", file.c_str(), result.problems,
                result.problems == 1 ? "problem" : "problems");
  }
  std::fflush(stdout);
  return status;
}

}  // namespace pw::cli
