// The image library on POSIX systems: libtiff decodes the first page of a TIFF file into an
// in-memory BMP. Bilevel images stay 1 bit per pixel; everything else becomes 24-bit BGR. Rows are
// stored bottom-up (positive biHeight), the layout every DIB consumer accepts.
#include <fcntl.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "images/bitmap_block.h"
#include "images/image_library.h"
#include "platform/errno_map.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"
#include "platform/posix/open_for_reading.h"
#include "support/tiff_ptr.h"

namespace pw {

namespace {

// A colour channel of a premultiplied pixel laid on white; saturates for pixels that were not
// premultiplied after all.
unsigned char onWhite(uint32_t channel, uint32_t lift) {
  const uint32_t value = channel + lift;
  return static_cast<unsigned char>(value > 255 ? 255 : value);
}

struct TiffImageFile {
  int fd = -1;
  char* path = nullptr;  // the name libtiff gives the file
};

// libtiff's diagnostics are dropped: a failure reaches the log once, as the module's own report
// with an error code, whatever the host's level mask. Returning 1 keeps the library-wide
// handlers, which print to stderr, from seeing them.
int ignoreTiffMessage(TIFF*, void*, const char*, const char*, va_list) {
  return 1;
}

struct MallocFreer {
  void operator()(void* p) const { std::free(p); }
};

// Opens the TIFF directory of file on a descriptor of its own, so that TIFFClose cannot close the
// handle's. Null with the last-error value set.
TiffPtr openTiff(const TiffImageFile& file) {
  const int fd = ::dup(file.fd);
  if (fd < 0 || ::lseek(fd, 0, SEEK_SET) < 0) {
    failWithErrno();
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (!options) {
    ::close(fd);
    failWith(kErrorNotEnoughMemory);
    return nullptr;
  }
  TIFFOpenOptionsSetErrorHandlerExtR(options, ignoreTiffMessage, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, ignoreTiffMessage, nullptr);
  // The decoded-image limit caps each of libtiff's own allocations too.
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxImageBytes));
  // "m": no memory mapping, so that a file truncated while it is read fails instead of faulting.
  TIFF* tif = TIFFFdOpenExt(fd, file.path, "rm", options);
  TIFFOpenOptionsFree(options);
  if (!tif) {
    // A failed open leaves the descriptor to its caller.
    ::close(fd);
    failWith(kErrorBadFormat);
    return nullptr;
  }
  return TiffPtr(tif);
}

int32_t pelsPerMetre(TIFF* tif, ttag_t tag, uint16_t unit) {
  float resolution = 0;
  if (!TIFFGetField(tif, tag, &resolution) || !std::isfinite(resolution) || resolution <= 0) {
    return 0;
  }
  double perMetre = 0;
  if (unit == RESUNIT_INCH) {
    perMetre = resolution * 10000.0 / 254.0;
  } else if (unit == RESUNIT_CENTIMETER) {
    perMetre = resolution * 100.0;
  }
  return perMetre < 2147483647.0 ? static_cast<int32_t>(std::lround(perMetre)) : 0;
}

// A bilevel strip image read a scan line at a time, which keeps 1 bit per pixel.
bool decodeBilevel(TIFF* tif, const BmpLayout& layout, bool bottomUpInFile, bool minIsWhite,
                   unsigned char* block) {
  if (static_cast<uint64_t>(TIFFScanlineSize64(tif)) > layout.stride) {
    return fail(kErrorInvalidData);
  }
  // RGBQUAD entries, blue green red reserved: index 0 is white when 0 means white.
  unsigned char* table = block + kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
  std::memset(minIsWhite ? table : table + 4, 0xFF, 3);
  unsigned char* pixels = block + layout.pixelOffset;
  for (uint32_t row = 0; row < layout.height; ++row) {
    const uint32_t bmpRow = bottomUpInFile ? row : layout.height - 1 - row;
    unsigned char* dest = pixels + bmpRow * layout.stride;
    std::memset(dest, 0, static_cast<size_t>(layout.stride));
    if (TIFFReadScanline(tif, dest, row, 0) < 0) return fail(kErrorInvalidData);
  }
  return true;
}

// Any other image through libtiff's RGBA interface, which handles every photometric, bit depth,
// orientation and tiling it knows, composited onto white.
bool decodeColour(TIFF* tif, const BmpLayout& layout, unsigned char* block) {
  char message[1024] = "";
  if (!TIFFRGBAImageOK(tif, message)) return fail(kErrorInvalidData);
  const uint64_t rasterBytes = uint64_t{layout.width} * layout.height * 4;
  if (rasterBytes > kMaxImageBytes) return fail(kErrorImageTooLarge);
  std::unique_ptr<uint32_t, MallocFreer> raster(
      static_cast<uint32_t*>(std::malloc(static_cast<size_t>(rasterBytes))));
  if (!raster) return fail(kErrorNotEnoughMemory);
  // Bottom-left origin gives the rows in the order of a bottom-up DIB.
  if (!TIFFReadRGBAImageOriented(tif, layout.width, layout.height, raster.get(),
                                 ORIENTATION_BOTLEFT, /*stop=*/1)) {
    return fail(kErrorInvalidData);
  }
  unsigned char* pixels = block + layout.pixelOffset;
  for (uint32_t row = 0; row < layout.height; ++row) {
    const uint32_t* source = raster.get() + uint64_t{row} * layout.width;
    unsigned char* dest = pixels + row * layout.stride;
    std::memset(dest, 0, static_cast<size_t>(layout.stride));
    for (uint32_t x = 0; x < layout.width; ++x) {
      const uint32_t abgr = source[x];
      // libtiff premultiplies alpha, so adding the missing coverage lays the pixel on white.
      const uint32_t lift = 255 - TIFFGetA(abgr);
      dest[3 * x] = onWhite(TIFFGetB(abgr), lift);
      dest[3 * x + 1] = onWhite(TIFFGetG(abgr), lift);
      dest[3 * x + 2] = onWhite(TIFFGetR(abgr), lift);
    }
  }
  return true;
}

class TiffImageLibrary final : public ImageLibrary {
 public:
  ImageHandle open(const char* path) override {
    if (!path) return failNull(kErrorInvalidParameter);
    // The file is opened here rather than by libtiff, so that a missing file is told from one
    // that is not a TIFF. O_NONBLOCK: a reference to a FIFO or a terminal must not stall the
    // conversion; libtiff needs a file it can seek in anyway.
    const int fd = openForReading(path, O_NONBLOCK);
    if (fd < 0) return nullptr;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
      const uint32_t code = S_ISREG(status.st_mode) ? win32FromErrno(errno) : kErrorBadFileType;
      ::close(fd);
      return failNull(code);
    }
    const std::size_t pathSize = std::strlen(path) + 1;
    auto* file = new (std::nothrow) TiffImageFile;
    char* pathCopy = file ? static_cast<char*>(detail::allocateBlock(pathSize)) : nullptr;
    if (!pathCopy) {
      delete file;
      ::close(fd);
      return failNull(kErrorNotEnoughMemory);
    }
    std::memcpy(pathCopy, path, pathSize);
    file->fd = fd;
    file->path = pathCopy;
    return file;
  }

  HeapBlock render(ImageHandle image) override {
    if (!image) return failNull(kErrorInvalidHandle);
    TiffPtr tif = openTiff(*static_cast<TiffImageFile*>(image));
    if (!tif) return nullptr;

    uint32_t width = 0;
    uint32_t height = 0;
    uint16_t bitsPerSample = 1;
    uint16_t samplesPerPixel = 1;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    uint16_t resolutionUnit = RESUNIT_INCH;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel);
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &resolutionUnit);
    if (width == 0 || height == 0) return failNull(kErrorInvalidData);

    const bool bilevel =
        bitsPerSample == 1 && samplesPerPixel == 1 &&
        (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK) &&
        !TIFFIsTiled(tif.get()) &&
        (orientation == ORIENTATION_TOPLEFT || orientation == ORIENTATION_BOTLEFT);
    BmpLayout layout;
    if (!planBitmapBlock(width, height, bilevel ? 1 : 24, &layout)) return nullptr;
    HeapBlock block = allocateHeapBlock(static_cast<std::size_t>(layout.totalSize));
    if (!block) return nullptr;
    writeBitmapHeaders(block.get(), layout,
                       pelsPerMetre(tif.get(), TIFFTAG_XRESOLUTION, resolutionUnit),
                       pelsPerMetre(tif.get(), TIFFTAG_YRESOLUTION, resolutionUnit));
    const bool decoded = bilevel
                             ? decodeBilevel(tif.get(), layout, orientation == ORIENTATION_BOTLEFT,
                                             photometric == PHOTOMETRIC_MINISWHITE, block.get())
                             : decodeColour(tif.get(), layout, block.get());
    if (!decoded) return nullptr;
    return block;
  }

  void close(ImageHandle image) override {
    if (!image) return;
    LastErrorKeeper keep;
    auto* file = static_cast<TiffImageFile*>(image);
    ::close(file->fd);
    detail::freeBlock(file->path);
    delete file;
  }

  const void* locatePixels(const void* bitmapInfo) override { return bitmapPixels(bitmapInfo); }
};

}  // namespace

ImageLibrary& platformImages() {
  static TiffImageLibrary library;
  return library;
}

}  // namespace pw
