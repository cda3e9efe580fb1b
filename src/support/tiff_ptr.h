// The owner of an open libtiff handle.
#pragma once

#include <tiffio.h>

#include <memory>

namespace pw {

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

}  // namespace pw
