#include "raster/output/g3_writer.h"

#include <iterator>
#include <new>

#include "platform/last_error.h"
#include "raster/output/fax_coder.h"

namespace pw {

namespace {

// Return to control: six EOLs (000000000001), starting on a byte boundary, since the zero bits
// that pad the last line's byte are fill that T.4 allows before an EOL.
constexpr uint8_t kRtc[] = {0x00, 0x10, 0x01, 0x00, 0x10, 0x01, 0x00, 0x10, 0x01};

class G3Writer final : public PageFilesWriter {
 public:
  explicit G3Writer(const PageWriterOptions& options)
      : PageFilesWriter(options, g3PageNaming(options.path)) {}

  bool encodePage(const PageRaster& page, CodedPage* coded) const override {
    // Any coder of 1-D lines, each after an EOL, most significant bit first, will do here.
    if (!codeFaxPage(page, FaxCompression::kG3, options().dpiY, options().coder, coded)) {
      return false;
    }
    try {
      // Whatever the coder left behind the lines is not part of the page.
      coded->data.resize(coded->offset + coded->size);
      coded->data.insert(coded->data.end(), std::begin(kRtc), std::end(kRtc));
    } catch (const std::bad_alloc&) {
      return failWith(kErrorNotEnoughMemory);
    }
    coded->size += sizeof kRtc;
    return true;
  }
};

}  // namespace

PageFileNaming g3PageNaming(const std::string& outputPath) {
  return {outputPath, ".", ""};
}

std::unique_ptr<PageWriter> makeG3Writer(const PageWriterOptions& options) {
  return std::make_unique<G3Writer>(options);
}

}  // namespace pw
