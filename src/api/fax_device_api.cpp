// The C entry points of the fax device.
#include "pagewright/fax_device.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "api/export_guard.h"
#include "api/surface_handle.h"
#include "platform/last_error.h"
#include "raster/fax_device.h"
#include "raster/library_versions.h"
#include "raster/output/temp_output.h"
#include "raster/text/code_page.h"
#include "raster/text/font_matcher.h"

using pw::FaxDevice;

namespace {

constexpr uint32_t kMaxEncoderThreads = 64;

bool readFormat(uint32_t format, pw::OutputFormat* out) {
  using pw::OutputFormat;
  switch (format) {
    case PW_FAX_FORMAT_TIFF:
      *out = OutputFormat::kTiff;
      return true;
    case PW_FAX_FORMAT_PDF:
      *out = OutputFormat::kPdf;
      return true;
    case PW_FAX_FORMAT_PNG:
      *out = OutputFormat::kPng;
      return true;
    case PW_FAX_FORMAT_G3:
      *out = OutputFormat::kG3;
      return true;
    default:
      return false;
  }
}

bool readOptions(const PwFaxDeviceOptions& in, pw::FaxDeviceOptions* out) {
  using namespace pw;
  if (!in.outputPath || !*in.outputPath) return false;
  out->outputPath = in.outputPath;
  if (!readFormat(in.format, &out->format)) return false;
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
  // Coding threads save no processor time (a page codes in under a millisecond), so by
  // default the drawing thread codes.
  if (in.encoderThreads == 0 || in.encoderThreads == PW_FAX_NO_ENCODER_THREADS) {
    out->encoderThreads = 0;
  } else if (in.encoderThreads <= kMaxEncoderThreads) {
    out->encoderThreads = static_cast<int>(in.encoderThreads);
  } else {
    return false;
  }
  return true;
}

FaxDevice* faxDevice(PwSurface* surface) {
  return surface ? dynamic_cast<FaxDevice*>(surface->surface.get()) : nullptr;
}

// The body of the exports that keep a finished document.
template <typename Keep>
int keepDocument(const char* exportName, PwSurface* surface, Keep keep) {
  return pw::guardExport(exportName, 0, [&] {
    FaxDevice* device = faxDevice(surface);
    if (!device) return pw::failWith(pw::kErrorInvalidHandle);
    if (!keep(*device)) return 0;
    pw::setLastError(pw::kErrorSuccess);
    return 1;
  });
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

extern "C" PW_API int PW_CALL pwFaxDeviceCommit(PwSurface* surface) {
  return keepDocument("pwFaxDeviceCommit", surface,
                      [](FaxDevice& device) { return device.commit(); });
}

extern "C" PW_API int PW_CALL pwFaxDeviceCommitToDescriptor(PwSurface* surface, int fd) {
  return keepDocument("pwFaxDeviceCommitToDescriptor", surface,
                      [fd](FaxDevice& device) { return device.commitTo(fd); });
}

extern "C" PW_API int PW_CALL pwFaxDeviceAbandon(PwSurface* surface) {
  return pw::guardExport("pwFaxDeviceAbandon", 0, [&] {
    FaxDevice* device = faxDevice(surface);
    if (!device) return pw::failWith(pw::kErrorInvalidHandle);
    device->abandon();
    return 1;
  });
}

extern "C" PW_API void PW_CALL pwAbandonAllFaxOutputs(void) {
  pw::guardExport("pwAbandonAllFaxOutputs", [] { pw::abandonAllTempOutputs(); });
}

extern "C" PW_API uint32_t PW_CALL pwFaxOutputFileName(const char* outputPath, uint32_t format,
                                                       uint32_t page, uint32_t pageCount,
                                                       char* buffer, uint32_t size) {
  return pw::guardExport("pwFaxOutputFileName", 0u, [&]() -> uint32_t {
    pw::OutputFormat parsed{};
    constexpr uint32_t kMaxPage = std::numeric_limits<int>::max();
    if (!outputPath || !readFormat(format, &parsed) || page < 1 || page > pageCount ||
        pageCount > kMaxPage) {
      return pw::failWith(pw::kErrorInvalidParameter);
    }
    const std::string name =
        pw::outputFileName(parsed, outputPath, static_cast<int>(page), static_cast<int>(pageCount));
    if (buffer && size > 0) {
      const size_t copied = std::min<size_t>(name.size(), size - 1);
      std::memcpy(buffer, name.data(), copied);
      buffer[copied] = '\0';
    }
    return static_cast<uint32_t>(name.size());
  });
}

extern "C" PW_API const char* PW_CALL pwCharSetCodePage(uint8_t charSet) {
  return pw::guardExport("pwCharSetCodePage", static_cast<const char*>(nullptr),
                         [&] { return pw::codePageName(charSet); });
}

extern "C" PW_API int PW_CALL pwFaxDeviceFontFamily(const PwLogFont* font, char* family,
                                                    uint32_t size) {
  return pw::guardExport("pwFaxDeviceFontFamily", 0, [&] {
    if (!font || !family || size == 0) return pw::failWith(pw::kErrorInvalidParameter);
    const std::optional<pw::FontMatch> match = pw::matchFont(*font);
    if (!match) return pw::failWith(pw::kErrorFileNotFound);
    const std::size_t length = std::min<std::size_t>(match->family.size(), size - 1);
    std::memcpy(family, match->family.data(), length);
    family[length] = '\0';
    pw::setLastError(pw::kErrorSuccess);
    return 1;
  });
}
