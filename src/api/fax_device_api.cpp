// The C entry points of the fax device.
#include "pagewright/fax_device.h"

#include <algorithm>
#include <memory>
#include <string>
#include <thread>

#include "api/export_guard.h"
#include "api/surface_handle.h"
#include "platform/last_error.h"
#include "raster/fax_device.h"
#include "raster/library_versions.h"
#include "raster/text/code_page.h"
#include "raster/text/font_matcher.h"

using pw::FaxDevice;

namespace {

constexpr uint32_t kMaxEncoderThreads = 64;
// Coding dominates a page's cost, so every core codes; the drawing thread needs a fraction of
// one. More than four gains little and costs a raster each.
constexpr unsigned kMaxAutomaticEncoderThreads = 4;

int automaticEncoderThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  if (cores < 2) return 0;
  return static_cast<int>(std::min(cores, kMaxAutomaticEncoderThreads));
}

bool readOptions(const PwFaxDeviceOptions& in, pw::FaxDeviceOptions* out) {
  using namespace pw;
  if (!in.outputPath || !*in.outputPath) return false;
  out->outputPath = in.outputPath;
  switch (in.format) {
    case PW_FAX_FORMAT_TIFF:
      out->format = OutputFormat::kTiff;
      break;
    case PW_FAX_FORMAT_PDF:
      out->format = OutputFormat::kPdf;
      break;
    case PW_FAX_FORMAT_PNG:
      out->format = OutputFormat::kPng;
      break;
    case PW_FAX_FORMAT_G3:
      out->format = OutputFormat::kG3;
      break;
    default:
      return false;
  }
  if (in.resolution > PW_FAX_RESOLUTION_NORMAL) return false;
  out->fineResolution = in.resolution == PW_FAX_RESOLUTION_FINE;
  switch (in.compression) {
    case PW_FAX_COMPRESSION_G3:
      out->compression = FaxCompression::kG3;
      break;
    case PW_FAX_COMPRESSION_G3_2D:
      out->compression = FaxCompression::kG3TwoD;
      break;
    case PW_FAX_COMPRESSION_G4:
      out->compression = FaxCompression::kG4;
      break;
    default:
      return false;
  }
  if (in.paper > PW_FAX_PAPER_CUSTOM) return false;
  out->paper = static_cast<Paper>(in.paper);
  out->customHeightMm = in.paperHeightMm;
  if (in.encoderThreads == 0) {
    out->encoderThreads = automaticEncoderThreads();
  } else if (in.encoderThreads == PW_FAX_NO_ENCODER_THREADS) {
    out->encoderThreads = 0;
  } else if (in.encoderThreads <= kMaxEncoderThreads) {
    out->encoderThreads = static_cast<int>(in.encoderThreads);
  } else {
    return false;
  }
  return true;
}

}  // namespace

extern "C" PW_API PwSurface* PW_CALL pwCreateFaxDevice(const PwFaxDeviceOptions* options) {
  return pw::guardExport("pwCreateFaxDevice", static_cast<PwSurface*>(nullptr),
                         [&]() -> PwSurface* {
                           pw::FaxDeviceOptions parsed;
                           if (!options || !readOptions(*options, &parsed)) {
                             pw::setLastError(pw::kErrorInvalidParameter);
                             return nullptr;
                           }
                           std::unique_ptr<FaxDevice> device = FaxDevice::create(parsed);
                           if (!device) return nullptr;
                           auto surface = std::make_unique<PwSurface>();
                           surface->surface = std::move(device);
                           pw::setLastError(pw::kErrorSuccess);
                           return surface.release();
                         });
}

extern "C" PW_API int PW_CALL pwFaxDeviceStatus(const PwSurface* surface, uint32_t* pagesWritten,
                                                uint32_t* documentError) {
  return pw::guardExport("pwFaxDeviceStatus", 0, [&] {
    const auto* device = surface ? dynamic_cast<const FaxDevice*>(surface->surface.get()) : nullptr;
    if (!device) return pw::failWith(pw::kErrorInvalidHandle);
    if (pagesWritten) *pagesWritten = static_cast<uint32_t>(device->pagesWritten());
    if (documentError) *documentError = device->documentError();
    return 1;
  });
}

extern "C" PW_API const char* PW_CALL pwVersion(void) {
  return pw::guardExport("pwVersion", "unknown", [] {
    static const std::string version = PAGEWRIGHT_VERSION " (" + pw::rasterLibraryVersions() + ")";
    return version.c_str();
  });
}

extern "C" PW_API int PW_CALL pwSetFontMatchCache(const char* path) {
  return pw::guardExport("pwSetFontMatchCache", 0, [&] {
    pw::setFontMatchCachePath(path ? path : "");
    pw::setLastError(pw::kErrorSuccess);
    return 1;
  });
}

extern "C" PW_API const char* PW_CALL pwCharSetCodePage(uint8_t charSet) {
  return pw::guardExport("pwCharSetCodePage", static_cast<const char*>(nullptr),
                         [&] { return pw::codePageName(charSet); });
}
