#include "raster/output/tiff_writer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/errno_map.h"
#include "platform/last_error.h"
#include "raster/output/fax_coder.h"
#include "raster/output/temp_output.h"
#include "raster/output/tiff_stream.h"

namespace pw {

namespace {

constexpr uint16_t kTagPageNumber = 297;
constexpr uint16_t kTypeShort = 3;
constexpr size_t kEntrySize = 12;
constexpr int kMaxPages = 0xFFFF;  // PageNumber holds 16-bit counts

uint16_t readLe16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t readLe32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool readAt(int fd, uint64_t offset, void* buffer, size_t size) {
  return pread(fd, buffer, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

// Fills in the page total of every PageNumber tag in place. libtiff can only rewrite a
// directory by appending a new copy, and finding directory n re-walks the chain, which makes a
// long fax quadratic; the file is our own little-endian classic TIFF, so walking its directory
// chain and overwriting the two-byte totals is linear and keeps the file's size.
bool patchPageTotals(int fd, uint16_t total) {
  uint8_t header[8];
  if (!readAt(fd, 0, header, sizeof header)) return false;
  uint64_t directory = readLe32(header + 4);
  uint8_t totalBytes[2] = {static_cast<uint8_t>(total), static_cast<uint8_t>(total >> 8)};
  for (uint16_t page = 0; page < total && directory != 0; ++page) {
    uint8_t countBytes[2];
    if (!readAt(fd, directory, countBytes, sizeof countBytes)) return false;
    const uint16_t count = readLe16(countBytes);
    std::vector<uint8_t> entries(count * kEntrySize + 4);
    if (!readAt(fd, directory + 2, entries.data(), entries.size())) return false;
    for (uint16_t i = 0; i < count; ++i) {
      const uint8_t* entry = entries.data() + i * kEntrySize;
      if (readLe16(entry) == kTagPageNumber && readLe16(entry + 2) == kTypeShort &&
          readLe32(entry + 4) == 2) {
        const uint64_t at = directory + 2 + i * kEntrySize + 8 + 2;
        if (pwrite(fd, totalBytes, 2, static_cast<off_t>(at)) != 2) return false;
      }
    }
    directory = readLe32(entries.data() + count * kEntrySize);
  }
  return true;
}

class TiffWriter final : public PageWriter {
 public:
  explicit TiffWriter(const PageWriterOptions& options) : options_(options), out_(options.path) {}

  bool open() override {
    if (!out_.create()) return false;
    stream_.fd = out_.fd();
    tif_ = detail::openTiffStream(stream_, "wl");
    if (!tif_) return failAndDiscard();
    return true;
  }

  bool encodePage(const PageRaster& page, CodedPage* coded) const override {
    return codeFaxPage(page, options_.compression, options_.dpiY, options_.coder, coded);
  }

  bool writeCoded(const CodedPage& page) override {
    if (!tif_) return failWith(kErrorInvalidHandle);
    if (pages_ >= kMaxPages) {
      discard();
      return failWith(kErrorFileTooLarge);
    }
    TIFF* tif = tif_.get();
    const auto number = static_cast<uint16_t>(pages_);
    bool ok =
        detail::setFaxPageTags(tif, page.width, page.height, options_.compression, options_.dpiY) &&
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, number, uint16_t{0});
    ok = ok && TIFFWriteRawStrip(tif, 0, const_cast<uint8_t*>(page.bytes()),
                                 static_cast<tmsize_t>(page.size)) >= 0;
    ok = ok && TIFFWriteDirectory(tif) != 0;
    if (!ok || stream_.writeErrno != 0) return failAndDiscard();
    ++pages_;
    return true;
  }

  bool finish() override {
    if (!tif_) return failWith(kErrorInvalidHandle);
    tif_.reset();  // every directory is already written; closing only releases libtiff's state
    if (pages_ == 0) {
      discard();
      return true;
    }
    if (stream_.writeErrno != 0) return failAndDiscard();
    if (!patchPageTotals(out_.fd(), static_cast<uint16_t>(pages_))) {
      const int err = errno;
      discard();
      return failWith(err != 0 ? win32FromErrno(err) : kErrorWriteFault);
    }
    return true;
  }

  bool commit() override { return out_.commit(); }
  bool commitTo(int fd) override { return out_.copyTo(fd); }

  void discard() override {
    tif_.reset();
    out_.discard();
  }

 private:
  bool failAndDiscard() {
    const uint32_t code = detail::tiffFailureCode(stream_);
    discard();
    return failWith(code);
  }

  PageWriterOptions options_;
  TempOutput out_;
  detail::TiffStream stream_;
  TiffPtr tif_;
  int pages_ = 0;
};

}  // namespace

std::unique_ptr<PageWriter> makeTiffWriter(const PageWriterOptions& options) {
  return std::make_unique<TiffWriter>(options);
}

}  // namespace pw
