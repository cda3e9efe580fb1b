// libtiff on our own I/O: a file descriptor or a memory buffer, with errors kept rather than
// printed, so that a failed write can report its errno as the cause.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "raster/output/page_writer.h"
#include "support/tiff_ptr.h"

namespace pw::detail {

struct TiffStream {
  int fd = -1;                             ///< the file, when memory is null; not closed here
  std::vector<uint8_t>* memory = nullptr;  ///< an in-memory file instead
  uint64_t position = 0;
  int writeErrno = 0;           ///< the first failed write's errno
  bool libraryError = false;    ///< libtiff reported an error
  bool libraryWarning = false;  ///< libtiff warned, e.g. of a row of the wrong length
};

/// Opens libtiff on the stream with a TIFFOpen mode ("wl", "r", ...); null on failure.
TiffPtr openTiffStream(TiffStream& stream, const char* mode);

/// The Win32 code for a failed libtiff call on the stream: the write's errno when one failed,
/// else ERROR_WRITE_FAULT.
uint32_t tiffFailureCode(const TiffStream& stream);

/// Sets the tags of one fax page (TIFF Class F: 1728 wide, one strip, min-is-white, 204 x dpiY
/// dots per inch, CCITT coding); false when libtiff rejects one.
bool setFaxPageTags(TIFF* tif, int width, int height, FaxCompression compression, int dpiY);

}  // namespace pw::detail
