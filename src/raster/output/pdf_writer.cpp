#include "raster/output/pdf_writer.h"

#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/errno_map.h"
#include "platform/last_error.h"
#include "raster/output/fax_coder.h"
#include "raster/output/pdf_document.h"
#include "raster/output/temp_output.h"

namespace pw {

namespace {

// The module's entry point, loaded once per process: from the "pagewright" folder beside the
// library holding this code (the installed layout, and the build tree's for the shared
// library), else from the build tree (programs linked with the static library).
PwWritePdfDocument pdfModule() {
  static std::once_flag once;
  static PwWritePdfDocument entry = nullptr;
  std::call_once(once, [] {
    std::vector<std::string> candidates;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&pdfModule), &info) != 0 && info.dli_fname) {
      const std::string self = info.dli_fname;
      const size_t slash = self.rfind('/');
      const std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
      candidates.push_back(dir + "/pagewright/" + kPdfModuleName);
    }
#ifdef PAGEWRIGHT_PDF_MODULE_BUILD_DIR
    candidates.push_back(std::string(PAGEWRIGHT_PDF_MODULE_BUILD_DIR) + "/" + kPdfModuleName);
#endif
    for (const std::string& path : candidates) {
      // Kept loaded for the life of the process.
      void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!module) continue;
      entry = reinterpret_cast<PwWritePdfDocument>(dlsym(module, kPdfEntryPoint));
      if (entry) return;
      dlclose(module);
    }
  });
  return entry;
}

uint32_t pdfFailureCode(int outcome) {
  if (outcome == kPdfOutOfMemory) return kErrorNotEnoughMemory;
  if (outcome == kPdfFailed) return kErrorWriteFault;
  return win32FromErrno(outcome);
}

class PdfWriter final : public PageWriter {
 public:
  explicit PdfWriter(const PageWriterOptions& options) : options_(options), out_(options.path) {}

  bool open() override {
    if (!out_.create()) return false;
    // Beside the document's temporary file, wherever the output's target led it; only its
    // temporary name is used, so a short one keeps a long output name within NAME_MAX.
    const std::string& temp = out_.tempPath();
    spool_ = std::make_unique<TempOutput>(temp.substr(0, temp.rfind('/') + 1) + "spool.g4");
    return spool_->create();
  }

  bool encodePage(const PageRaster& page, CodedPage* coded) const override {
    return codeFaxPage(page, FaxCompression::kG4, options_.dpiY, options_.coder, coded);
  }

  bool writeCoded(const CodedPage& page) override {
    if (!spool_ || spool_->fd() < 0) return failWith(kErrorInvalidHandle);
    if (!spool_->append(page.bytes(), page.size)) {
      const uint32_t code = lastError();
      discard();
      return failWith(code);
    }
    pages_.push_back({spoolSize_, page.size, page.height});
    spoolSize_ += page.size;
    return true;
  }

  bool finish() override {
    if (!spool_ || spool_->fd() < 0) return failWith(kErrorInvalidHandle);
    if (pages_.empty()) {
      discard();
      return true;
    }
    const PwWritePdfDocument writePdf = pdfModule();
    const int outcome = writePdf ? writePdf(pages_.data(), pages_.size(), spool_->fd(),
                                            options_.dpiY, out_.fd(), options_.path.c_str())
                                 : 0;
    if (!writePdf || outcome != 0) {
      discard();
      return failWith(writePdf ? pdfFailureCode(outcome) : kErrorFileNotFound);
    }
    spool_.reset();
    return true;
  }

  bool commit() override { return out_.commit(); }
  bool commitTo(int fd) override { return out_.copyTo(fd); }

  void discard() override {
    out_.discard();
    spool_.reset();
  }

 private:
  PageWriterOptions options_;
  TempOutput out_;
  std::unique_ptr<TempOutput> spool_;  // only its temporary name is ever used
  uint64_t spoolSize_ = 0;
  std::vector<PwPdfPage> pages_;
};

}  // namespace

std::unique_ptr<PageWriter> makePdfWriter(const PageWriterOptions& options) {
  return std::make_unique<PdfWriter>(options);
}

}  // namespace pw
