// Shared helpers of the fax device tests: devices on small pages, font records, ink bounds.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "raster/fax_device.h"

namespace pw::testing {

/// A device on a short custom page, so that tests encode little.
inline std::unique_ptr<FaxDevice> makeDevice(const std::string& path,
                                             OutputFormat format = OutputFormat::kTiff,
                                             bool fine = true, uint32_t heightMm = 40,
                                             FaxCompression compression = FaxCompression::kG3,
                                             FaxCoder coder = FaxCoder::kOwn) {
  FaxDeviceOptions options;
  options.outputPath = path;
  options.format = format;
  options.fineResolution = fine;
  options.compression = compression;
  options.paper = Paper::kCustom;
  options.customHeightMm = heightMm;
  options.coder = coder;
  return FaxDevice::create(options);
}

inline LogFont makeFont(const char* face, int height, int weight = 400) {
  LogFont font{};
  font.lfHeight = height;
  font.lfWeight = weight;
  std::strncpy(font.lfFaceName, face, sizeof font.lfFaceName - 1);
  return font;
}

struct InkBounds {
  int left = 0;
  int top = 0;
  int right = 0;  ///< exclusive
  int bottom = 0;
  int pixels = 0;
};

/// The smallest rectangle holding every black pixel of the raster.
inline InkBounds inkBounds(const PageRaster& raster) {
  InkBounds bounds{raster.width(), raster.height(), 0, 0, 0};
  for (int y = 0; y < raster.height(); ++y) {
    for (int x = 0; x < raster.width(); ++x) {
      if (!raster.pixel(x, y)) continue;
      ++bounds.pixels;
      bounds.left = std::min(bounds.left, x);
      bounds.top = std::min(bounds.top, y);
      bounds.right = std::max(bounds.right, x + 1);
      bounds.bottom = std::max(bounds.bottom, y + 1);
    }
  }
  return bounds;
}

/// Selects a new font on the device and returns it; fails the test when creation fails.
inline FontHandle useFont(FaxDevice& device, const LogFont& record) {
  FontHandle font = device.createFont(record);
  if (font) device.selectFont(font);
  return font;
}

}  // namespace pw::testing
