#include "device/pdf_writer.h"

#include <unistd.h>
// Use qpdf without its deprecated PointerHolder compatibility layer.
#define POINTERHOLDER_TRANSITION 4
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFSystemError.hh>
#include <qpdf/QPDFWriter.hh>
#include <qpdf/QUtil.hh>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "device/fax_geometry.h"
#include "device/g4_encoder.h"
#include "device/temp_output.h"
#include "platform/last_error.h"
#include "platform/posix/errno_map.h"

namespace pw {

namespace {

struct SpooledPage {
  uint64_t offset = 0;
  size_t size = 0;
  int height = 0;
};

bool writeAll(int fd, const uint8_t* data, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t put = pwrite(fd, data, size, static_cast<off_t>(offset));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = ENOSPC;
      return false;
    }
    data += put;
    size -= static_cast<size_t>(put);
    offset += static_cast<uint64_t>(put);
  }
  return true;
}

std::string number(double value) {
  return QUtil::double_to_string(value, 2);
}

class PdfWriter final : public PageWriter {
 public:
  explicit PdfWriter(const PageWriterOptions& options)
      : options_(options), out_(options.path), spool_(options.path + ".g4") {}

  bool open() override { return out_.create() && spool_.create(); }

  bool writePage(const PageRaster& page) override {
    if (spool_.fd() < 0) return failWith(kErrorInvalidHandle);
    if (!encodeG4(page, &coded_)) {
      discard();
      return false;
    }
    if (!writeAll(spool_.fd(), coded_.data(), coded_.size(), spoolSize_)) {
      const int err = errno;
      discard();
      return failWith(win32FromErrno(err));
    }
    pages_.push_back({spoolSize_, coded_.size(), page.height()});
    spoolSize_ += coded_.size();
    return true;
  }

  bool finish() override {
    if (spool_.fd() < 0) return failWith(kErrorInvalidHandle);
    if (pages_.empty()) {
      discard();
      return true;
    }
    uint32_t failure = kErrorSuccess;
    try {
      failure = writePdf();
    } catch (const QPDFSystemError& error) {
      failure = win32FromErrno(error.getErrno());
    } catch (const std::bad_alloc&) {
      failure = kErrorNotEnoughMemory;
    } catch (const std::exception&) {
      failure = kErrorWriteFault;
    }
    if (failure != kErrorSuccess) {
      discard();
      return failWith(failure);
    }
    spool_.discard();
    return out_.commit();
  }

  void discard() override {
    out_.discard();
    spool_.discard();
  }

 private:
  // Returns 0 or the Win32 code of the failure; qpdf's own failures arrive as exceptions.
  uint32_t writePdf() {
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.emptyPDF();
    QPDFPageDocumentHelper pages(pdf);
    const int spoolFd = spool_.fd();
    const double widthPoints = kFaxLineDots * 72.0 / kFaxDpiX;
    for (const SpooledPage& spooled : pages_) {
      const double heightPoints = spooled.height * 72.0 / options_.dpiY;
      QPDFObjectHandle parms =
          QPDFObjectHandle::parse("<< /K -1 /Columns " + std::to_string(kFaxLineDots) + " /Rows " +
                                  std::to_string(spooled.height) + " /BlackIs1 false >>");
      QPDFObjectHandle image = pdf.newStream();
      image.replaceStreamData(
          [spoolFd, spooled](Pipeline* pipeline) {
            // Each image is read back from the spool only while the PDF is being written.
            std::vector<uint8_t> data(spooled.size);
            if (pread(spoolFd, data.data(), data.size(), static_cast<off_t>(spooled.offset)) !=
                static_cast<ssize_t>(data.size())) {
              throw QPDFSystemError("reading the page spool", errno);
            }
            pipeline->write(data.data(), data.size());
            pipeline->finish();
          },
          QPDFObjectHandle::newName("/CCITTFaxDecode"), parms);
      QPDFObjectHandle dict = image.getDict();
      dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
      dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
      dict.replaceKey("/Width", QPDFObjectHandle::newInteger(kFaxLineDots));
      dict.replaceKey("/Height", QPDFObjectHandle::newInteger(spooled.height));
      dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName("/DeviceGray"));
      dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(1));

      const std::string content =
          "q " + number(widthPoints) + " 0 0 " + number(heightPoints) + " 0 0 cm /Im0 Do Q\n";
      QPDFObjectHandle page = pdf.makeIndirectObject(
          QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 " + number(widthPoints) + " " +
                                  number(heightPoints) + "] /Resources << /XObject << >> >> >>"));
      page.getKey("/Resources").getKey("/XObject").replaceKey("/Im0", image);
      page.replaceKey("/Contents", pdf.newStream(content));
      pages.addPage(QPDFPageObjectHelper(page), /*first=*/false);
    }

    std::unique_ptr<FILE, int (*)(FILE*)> file(fdopen(out_.fd(), "wb"), &std::fclose);
    if (!file) return win32FromErrno(errno);
    out_.releaseFd();
    QPDFWriter writer(pdf);
    writer.setOutputFile(options_.path.c_str(), file.get(), /*close_file=*/false);
    writer.setDecodeLevel(qpdf_dl_none);  // the images are already coded; keep them as they are
    writer.write();
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
      return errno != 0 ? win32FromErrno(errno) : kErrorWriteFault;
    }
    if (std::fclose(file.release()) != 0) return win32FromErrno(errno);
    return kErrorSuccess;
  }

  PageWriterOptions options_;
  TempOutput out_;
  TempOutput spool_;  // only its temporary name is ever used
  uint64_t spoolSize_ = 0;
  std::vector<SpooledPage> pages_;
  std::vector<uint8_t> coded_;
};

}  // namespace

std::unique_ptr<PageWriter> makePdfWriter(const PageWriterOptions& options) {
  return std::make_unique<PdfWriter>(options);
}

}  // namespace pw
