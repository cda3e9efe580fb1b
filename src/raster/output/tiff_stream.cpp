#include "raster/output/tiff_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errno_map.h"
#include "platform/last_error.h"

namespace pw::detail {

namespace {

TiffStream& streamOf(thandle_t handle) {
  return *static_cast<TiffStream*>(handle);
}

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t size) {
  TiffStream& stream = streamOf(handle);
  if (size < 0) return -1;
  if (stream.memory) {
    const uint64_t available =
        stream.position < stream.memory->size() ? stream.memory->size() - stream.position : 0;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(available, size));
    std::memcpy(buffer, stream.memory->data() + stream.position, count);
    stream.position += count;
    return static_cast<tmsize_t>(count);
  }
  tmsize_t done = 0;
  while (done < size) {
    const ssize_t got =
        pread(stream.fd, static_cast<char*>(buffer) + done, static_cast<size_t>(size - done),
              static_cast<off_t>(stream.position));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
    stream.position += static_cast<uint64_t>(got);
  }
  return done;
}

tmsize_t writeProc(thandle_t handle, void* buffer, tmsize_t size) {
  TiffStream& stream = streamOf(handle);
  if (size < 0) return -1;
  if (stream.memory) {
    const uint64_t end = stream.position + static_cast<uint64_t>(size);
    if (end > stream.memory->size()) stream.memory->resize(static_cast<size_t>(end));
    std::memcpy(stream.memory->data() + stream.position, buffer, static_cast<size_t>(size));
    stream.position = end;
    return size;
  }
  tmsize_t done = 0;
  while (done < size) {
    const ssize_t put =
        pwrite(stream.fd, static_cast<const char*>(buffer) + done, static_cast<size_t>(size - done),
               static_cast<off_t>(stream.position));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (stream.writeErrno == 0) stream.writeErrno = put < 0 ? errno : ENOSPC;
      return -1;
    }
    done += put;
    stream.position += static_cast<uint64_t>(put);
  }
  return done;
}

uint64_t sizeProc(thandle_t handle) {
  TiffStream& stream = streamOf(handle);
  if (stream.memory) return stream.memory->size();
  struct stat status {};
  return fstat(stream.fd, &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
  TiffStream& stream = streamOf(handle);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = stream.position;
  if (whence == SEEK_END) base = sizeProc(handle);
  stream.position = base + offset;
  return stream.position;
}

int closeProc(thandle_t) {
  return 0;
}
int mapProc(thandle_t, void**, toff_t*) {
  return 0;
}
void unmapProc(thandle_t, void*, toff_t) {}

int errorHandler(TIFF*, void* user, const char*, const char*, va_list) {
  static_cast<TiffStream*>(user)->libraryError = true;
  return 1;  // handled: keep libtiff's default handler from printing to stderr
}

int warningHandler(TIFF*, void* user, const char*, const char*, va_list) {
  static_cast<TiffStream*>(user)->libraryWarning = true;
  return 1;
}

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

}  // namespace

TiffPtr openTiffStream(TiffStream& stream, const char* mode) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) return nullptr;
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), errorHandler, &stream);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), warningHandler, &stream);
  return TiffPtr(TIFFClientOpenExt("page", mode, &stream, readProc, writeProc, seekProc, closeProc,
                                   sizeProc, mapProc, unmapProc, options.get()));
}

uint32_t tiffFailureCode(const TiffStream& stream) {
  return stream.writeErrno != 0 ? win32FromErrno(stream.writeErrno) : kErrorWriteFault;
}

bool setFaxPageTags(TIFF* tif, int width, int height, FaxCompression compression, int dpiY) {
  const auto w = static_cast<uint32_t>(width);
  const auto h = static_cast<uint32_t>(height);
  bool ok = TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) &&
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE) &&
            TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, 204.0) &&
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<double>(dpiY)) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
            TIFFSetField(tif, TIFFTAG_SOFTWARE, "Pagewright");
  if (!ok) return false;
  if (compression == FaxCompression::kG4) {
    return TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4) &&
           TIFFSetField(tif, TIFFTAG_GROUP4OPTIONS, 0);
  }
  const uint32_t t4Options = compression == FaxCompression::kG3TwoD ? GROUP3OPT_2DENCODING : 0;
  // Class F pages carry no RTC at the end of the strip.
  return TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX3) &&
         TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, t4Options) &&
         TIFFSetField(tif, TIFFTAG_FAXMODE, FAXMODE_CLASSF);
}

}  // namespace pw::detail
