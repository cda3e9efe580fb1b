#include "tiff_check.h"

#include <tiffio.h>

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <memory>

namespace pw::cli {

namespace {

constexpr uint32_t kFaxWidth = 1728;
constexpr float kDpiX = 204;
constexpr float kDpiFine = 196;
constexpr float kDpiNormal = 98;
constexpr float kDpiTolerance = 2;     // writers round 7.7 and 3.85 lines per mm differently
constexpr unsigned kMaxPages = 10000;  // a guard against directory loops in hostile files
constexpr int kUsageStatus = 2;

int collectMessage(TIFF*, void* user, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  auto* messages = static_cast<std::vector<std::string>*>(user);
  messages->push_back(module && *module ? std::string(module) + ": " + text : std::string(text));
  return 1;  // handled: nothing reaches libtiff's default handler on stderr
}

int ignoreMessage(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

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

// Appends the problems of the current directory, page `page` (1-based) of `total`.
void checkPage(TIFF* tiff, unsigned page, unsigned total, std::vector<std::string>& problems) {
  const std::string where = "page " + std::to_string(page) + ": ";
  auto problem = [&](const std::string& text) { problems.push_back(where + text); };

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

}  // namespace

TiffCheckResult checkTiff(const std::string& path) {
  TiffCheckResult result;
  std::vector<std::string> messages;
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> openOptions(TIFFOpenOptionsAlloc(),
                                                                           TIFFOpenOptionsFree);
  TIFFOpenOptionsSetErrorHandlerExtR(openOptions.get(), collectMessage, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(openOptions.get(), ignoreMessage, nullptr);
  std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpenExt(path.c_str(), "r", openOptions.get()));
  if (!tiff) {
    result.problems.push_back(messages.empty() ? "cannot open the file" : messages.back());
    return result;
  }
  result.opened = true;

  // PageNumber must hold the total, so count the pages before checking any.
  unsigned total = 0;
  do {
    ++total;
  } while (total < kMaxPages && TIFFReadDirectory(tiff.get()));
  result.pages = total;
  for (unsigned page = 1; page <= total; ++page) {
    if (!TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(page - 1))) {
      result.problems.push_back("page " + std::to_string(page) + ": cannot be read");
      break;
    }
    checkPage(tiff.get(), page, total, result.problems);
  }
  for (const std::string& message : messages) result.problems.push_back("libtiff: " + message);
  return result;
}

int runCheckCommand(int argc, const char* const* argv) {
  CLI::App app{"Checks that TIFF files meet the Class F fax profile", "pagewright check"};
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
    const TiffCheckResult result = checkTiff(file);
    if (result.problems.empty()) {
      if (!quiet) {
        std::printf("%s: OK, Class F, %u %s\n", file.c_str(), result.pages,
                    result.pages == 1 ? "page" : "pages");
      }
      continue;
    }
    status = 1;
    for (const std::string& problem : result.problems) {
      std::printf("%s: %s\n", file.c_str(), problem.c_str());
    }
    std::printf("%s: not Class F, %zu %s\n", file.c_str(), result.problems.size(),
                result.problems.size() == 1 ? "problem" : "problems");
  }
  std::fflush(stdout);
  return status;
}

}  // namespace pw::cli
