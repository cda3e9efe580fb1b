#include "raster/output/fax_coder.h"

#include "platform/last_error.h"
#include "raster/output/tiff_stream.h"

namespace pw {

namespace {

bool codeWithLibtiff(const PageRaster& page, FaxCompression compression, int dpiY,
                     CodedPage* coded) {
  // libtiff codes only into a TIFF file, so code into one in memory and keep the strip where it
  // landed; the file's header before it costs less than a copy.
  coded->data.reserve(page.byteSize() / 4);
  detail::TiffStream stream;
  stream.memory = &coded->data;
  TiffPtr tif = detail::openTiffStream(stream, "wl");
  uint64_t* offsets = nullptr;
  uint64_t* counts = nullptr;
  const bool ok =
      tif && detail::setFaxPageTags(tif.get(), page.width(), page.height(), compression, dpiY) &&
      TIFFWriteEncodedStrip(tif.get(), 0, const_cast<uint8_t*>(page.data()),
                            static_cast<tmsize_t>(page.byteSize())) >= 0 &&
      TIFFGetField(tif.get(), TIFFTAG_STRIPOFFSETS, &offsets) && offsets &&
      TIFFGetField(tif.get(), TIFFTAG_STRIPBYTECOUNTS, &counts) && counts &&
      offsets[0] + counts[0] <= coded->data.size();
  if (!ok || stream.libraryError) return failWith(kErrorNotEnoughMemory);
  coded->offset = static_cast<size_t>(offsets[0]);
  coded->size = static_cast<size_t>(counts[0]);
  return true;
}

}  // namespace

CcittOptions faxCodingOptions(FaxCompression compression, int dpiY) {
  switch (compression) {
    case FaxCompression::kG3:
      return {CcittCoding::kT4OneD, 0, false};
    case FaxCompression::kG3TwoD:
      return {CcittCoding::kT4TwoD, dpiY > 150 ? 4 : 2, false};
    case FaxCompression::kG4:
      break;
  }
  return {CcittCoding::kT6, 0, false};
}

bool codeFaxPage(const PageRaster& page, FaxCompression compression, int dpiY, FaxCoder coder,
                 CodedPage* coded) {
  coded->data.clear();
  coded->width = page.width();
  coded->height = page.height();
  if (coder == FaxCoder::kLibtiff) return codeWithLibtiff(page, compression, dpiY, coded);
  const CcittImage image{page.data(), page.stride(), page.width(), page.height(), page.inkedRows()};
  if (!codeCcitt(image, faxCodingOptions(compression, dpiY), &coded->data)) return false;
  coded->offset = 0;
  coded->size = coded->data.size();
  return true;
}

}  // namespace pw
