#include "device/g4_encoder.h"

#include "device/tiff_stream.h"
#include "platform/last_error.h"

namespace pw {

bool encodeG4(const PageRaster& page, std::vector<uint8_t>* coded) {
  // libtiff codes only into a TIFF file, so code into one in memory and take its strip back.
  std::vector<uint8_t> file;
  file.reserve(page.byteSize() / 8);
  {
    detail::TiffStream stream;
    stream.memory = &file;
    detail::TiffPtr tif = detail::openTiffStream(stream, "wl");
    const bool ok =
        tif &&
        detail::setFaxPageTags(tif.get(), page.width(), page.height(), FaxCompression::kG4,
                               /*dpiY=*/196) &&
        TIFFWriteEncodedStrip(tif.get(), 0, const_cast<uint8_t*>(page.data()),
                              static_cast<tmsize_t>(page.byteSize())) >= 0 &&
        TIFFWriteDirectory(tif.get()) != 0;
    if (!ok) return failWith(kErrorNotEnoughMemory);
  }
  detail::TiffStream stream;
  stream.memory = &file;
  detail::TiffPtr tif = detail::openTiffStream(stream, "r");
  if (!tif) return failWith(kErrorNotEnoughMemory);
  const tmsize_t size = TIFFRawStripSize(tif.get(), 0);
  if (size <= 0) return failWith(kErrorNotEnoughMemory);
  coded->resize(static_cast<size_t>(size));
  if (TIFFReadRawStrip(tif.get(), 0, coded->data(), size) != size) {
    return failWith(kErrorNotEnoughMemory);
  }
  return true;
}

}  // namespace pw
