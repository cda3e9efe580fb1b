// The pagewright_pdf module: the only code that uses qpdf.
#include "raster/output/pdf_document.h"

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
#include <new>
#include <string>
#include <vector>

#include "raster/fax_geometry.h"

namespace pw {
namespace {

std::string number(double value) {
  return QUtil::double_to_string(value, 2);
}

// Returns 0 or an errno value; qpdf's own failures arrive as exceptions.
int writePdf(const PwPdfPage* pages, size_t count, int spoolFd, int dpiY, int outFd,
             const char* outPath) {
  QPDF pdf;
  pdf.setSuppressWarnings(true);
  pdf.emptyPDF();
  QPDFPageDocumentHelper document(pdf);
  const double widthPoints = kFaxLineDots * 72.0 / kFaxDpiX;
  for (size_t i = 0; i < count; ++i) {
    const PwPdfPage spooled = pages[i];
    const double heightPoints = spooled.height * 72.0 / dpiY;
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
    document.addPage(QPDFPageObjectHelper(page), /*first=*/false);
  }

  // A duplicate, so that closing the stream leaves the caller's descriptor open.
  const int fd = dup(outFd);
  if (fd < 0) return errno;
  std::unique_ptr<FILE, int (*)(FILE*)> file(fdopen(fd, "wb"), &std::fclose);
  if (!file) {
    const int err = errno;
    close(fd);
    return err;
  }
  QPDFWriter writer(pdf);
  writer.setOutputFile(outPath, file.get(), /*close_file=*/false);
  writer.setDecodeLevel(qpdf_dl_none);  // the images are already coded; keep them as they are
  writer.write();
  if (std::fflush(file.get()) != 0 || std::ferror(file.get())) return errno != 0 ? errno : EIO;
  if (std::fclose(file.release()) != 0) return errno;
  return 0;
}

}  // namespace
}  // namespace pw

extern "C" __attribute__((visibility("default"))) int pwWritePdfDocument(const PwPdfPage* pages,
                                                                         size_t count, int spoolFd,
                                                                         int dpiY, int outFd,
                                                                         const char* outPath) {
  try {
    return pw::writePdf(pages, count, spoolFd, dpiY, outFd, outPath);
  } catch (const QPDFSystemError& error) {
    return error.getErrno() != 0 ? error.getErrno() : pw::kPdfFailed;
  } catch (const std::bad_alloc&) {
    return pw::kPdfOutOfMemory;
  } catch (...) {
    return pw::kPdfFailed;
  }
}
