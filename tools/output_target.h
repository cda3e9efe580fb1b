// Where one conversion's fax goes and keeping it there: a file (or the page files of a format
// with a file per page) that the fax device puts in place, or standard output, which receives a
// copy of the document spooled in the temporary directory.
#pragma once

#include <cstdint>
#include <string>

#include "output_paths.h"
#include "pagewright/fax_device.h"

namespace pw::cli {

class OutputTarget {
 public:
  /// output: a path, or kStandardOutput.
  OutputTarget(std::string output, uint32_t format);

  /// The path to create the fax device with.
  const std::string& devicePath() const { return devicePath_; }
  /// Why the output cannot be written, naming it, when that shows before converting (a missing
  /// or read-only directory); empty otherwise.
  std::string problem() const;
  /// Keeps the document the device finished. Empty on success, else the problem naming the
  /// output. A pipe without reader on standard output ends the process as SIGPIPE does.
  std::string keep(PwSurface* device) const;
  /// The problem naming the output for a failure (a Win32 code) of the device's document, of
  /// which pagesWritten pages were written; a limit is named as the limit.
  std::string failure(uint32_t code, uint32_t pagesWritten) const;
  /// What the result line names for a document of `pages` pages: the file, the first and last
  /// page files, or standard output.
  std::string writtenNames(uint32_t pages) const;

 private:
  bool toStandardOutput() const { return output_ == kStandardOutput; }
  std::string displayName() const;
  std::string fileName(uint32_t page, uint32_t pageCount) const;

  std::string output_;
  uint32_t format_;
  std::string devicePath_;
};

}  // namespace pw::cli
