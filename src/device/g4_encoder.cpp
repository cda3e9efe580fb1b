#include "device/g4_encoder.h"

#include "device/fax_coder.h"

namespace pw {

bool encodeG4(const PageRaster& page, std::vector<uint8_t>* coded) {
  CodedPage page4;
  if (!codeFaxPage(page, FaxCompression::kG4, /*dpiY=*/196, &page4)) return false;
  coded->assign(page4.bytes(), page4.bytes() + page4.size);
  return true;
}

}  // namespace pw
