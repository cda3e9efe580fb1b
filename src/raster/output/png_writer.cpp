#include "raster/output/png_writer.h"

#include <png.h>

#include <cmath>
#include <new>
#include <vector>

#include "platform/last_error.h"
#include "raster/fax_geometry.h"

namespace pw {

namespace {

// libpng writes the file into memory; the writer puts the bytes into the page's file.
void writeData(png_structp png, png_bytep data, size_t size) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  try {
    out->insert(out->end(), data, data + size);
  } catch (const std::bad_alloc&) {
    png_error(png, "out of memory");  // no exception may cross libpng's C frames
  }
}

void flushData(png_structp) {}

[[noreturn]] void onError(png_structp png, png_const_charp) {
  png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

// libpng reports failures by longjmp, so this function holds nothing that needs destroying.
bool writePng(std::vector<uint8_t>* out, const PageRaster* page, int repeat, int dpiY) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, out, writeData, flushData);
  // Bilevel previews gain little from harder compression and lose much speed.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(page->width()),
               static_cast<png_uint_32>(page->height() * repeat), 1, PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const auto perMetre = [](double dpi) {
    return static_cast<png_uint_32>(std::lround(dpi / 0.0254));
  };
  png_set_pHYs(png, info, perMetre(kFaxDpiX), perMetre(dpiY * repeat), PNG_RESOLUTION_METER);
  png_write_info(png, info);
  png_set_invert_mono(png);  // the raster stores black as 1, PNG grey as 0
  for (int y = 0; y < page->height(); ++y) {
    for (int i = 0; i < repeat; ++i) png_write_row(png, const_cast<uint8_t*>(page->row(y)));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

class PngWriter final : public PageFilesWriter {
 public:
  explicit PngWriter(const PageWriterOptions& options)
      : PageFilesWriter(options, pngPageNaming(options.path)) {}

  bool encodePage(const PageRaster& page, CodedPage* coded) const override {
    const int repeat = options().dpiY < kFaxDpiYFine ? 2 : 1;
    coded->data.clear();
    if (!writePng(&coded->data, &page, repeat, options().dpiY)) {
      return failWith(kErrorNotEnoughMemory);
    }
    coded->offset = 0;
    coded->size = coded->data.size();
    coded->width = page.width();
    coded->height = page.height();
    return true;
  }
};

}  // namespace

PageFileNaming pngPageNaming(const std::string& outputPath) {
  const size_t slash = outputPath.rfind('/');
  const size_t dot = outputPath.rfind('.');
  const bool hasExtension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
  if (!hasExtension) return {outputPath, "-", ".png"};
  return {outputPath.substr(0, dot), "-", outputPath.substr(dot)};
}

std::unique_ptr<PageWriter> makePngWriter(const PageWriterOptions& options) {
  return std::make_unique<PngWriter>(options);
}

}  // namespace pw
