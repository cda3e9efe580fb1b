// Outputs of one file per page (PNG previews, raw G3 pages).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "raster/output/page_writer.h"
#include "raster/output/temp_output.h"

namespace pw {

/// Writes each coded page into a file of its own. Every page's file is created ahead under a
/// temporary name, so that an unwritable destination fails before the page is drawn, and all of
/// them are renamed into place only when the document ends; the files of an older document's
/// further pages (numbered on from the last page, up to the first missing) are then removed.
/// Subclasses code the pages and name their files.
class PageFilesWriter : public PageWriter {
 public:
  bool open() override { return prepareNext(); }
  bool writeCoded(const CodedPage& page) override;
  bool finish() override;
  void discard() override;

 protected:
  explicit PageFilesWriter(const PageWriterOptions& options) : options_(options) {}
  const PageWriterOptions& options() const { return options_; }
  /// The file of a page (1-based).
  virtual std::string pagePath(int page) const = 0;

 private:
  bool prepareNext();

  PageWriterOptions options_;
  std::unique_ptr<TempOutput> next_;
  std::vector<TempOutput> written_;
};

}  // namespace pw
