// Outputs of one file per page (PNG previews, raw G3 pages): how the files are named, and a
// writer that keeps every page under a temporary name until the document is kept, then puts
// them all in place as one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "raster/output/page_writer.h"
#include "raster/output/temp_output.h"

namespace pw {

/// Page n's file is stem + separator + n + suffix, n padded with zeros to the digits of the page
/// count and at least three ("fax-001.png" ... "fax-120.png", "fax-0001.png" ... "fax-1000.png"),
/// so that the names sort in page order.
struct PageFileNaming {
  std::string stem;
  std::string separator;
  std::string suffix;

  std::string name(int page, int pageCount) const;
};

/// Writes each coded page into a file of its own. Every page's file is created ahead under a
/// temporary name, so that an unwritable destination fails before the page is drawn. Keeping
/// the document renames them all into place and removes the files of the same naming beyond the
/// last page (left by an earlier, longer document, up to the first missing number, also those
/// numbered with another width), so that the files of the naming are exactly this document's
/// pages. Subclasses code the pages.
class PageFilesWriter : public PageWriter {
 public:
  bool open() override { return prepareNext(); }
  bool writeCoded(const CodedPage& page) override;
  bool finish() override;
  bool commit() override;
  bool commitTo(int fd) override;
  void discard() override;

 protected:
  PageFilesWriter(const PageWriterOptions& options, PageFileNaming naming)
      : options_(options), naming_(std::move(naming)) {}
  const PageWriterOptions& options() const { return options_; }

 private:
  bool prepareNext();
  void removeStalePages(int count) const;

  PageWriterOptions options_;
  PageFileNaming naming_;
  std::unique_ptr<TempOutput> next_;
  std::vector<TempOutput> written_;
};

}  // namespace pw
