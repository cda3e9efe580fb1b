#include "raster/output/page_files.h"

#include <unistd.h>

#include <cerrno>

#include "platform/errno_map.h"
#include "platform/last_error.h"

namespace pw {

bool PageFilesWriter::writeCoded(const CodedPage& page) {
  if (!next_) return failWith(kErrorInvalidHandle);
  const uint8_t* data = page.bytes();
  size_t left = page.size;
  while (left > 0) {
    const ssize_t put = write(next_->fd(), data, left);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      const uint32_t code = win32FromErrno(put < 0 ? errno : ENOSPC);
      discard();
      return failWith(code);
    }
    data += put;
    left -= static_cast<size_t>(put);
  }
  written_.push_back(std::move(*next_));
  next_.reset();
  return prepareNext();
}

bool PageFilesWriter::finish() {
  next_.reset();
  for (TempOutput& page : written_) {
    if (!page.commit()) {
      discard();
      return false;
    }
  }
  // The document replaces an older one of the same name whole: pages it no longer has would
  // otherwise be sent with it by whoever collects the pages by their names.
  if (!written_.empty()) {
    int page = static_cast<int>(written_.size()) + 1;
    while (unlink(pagePath(page).c_str()) == 0) ++page;
  }
  written_.clear();
  return true;
}

void PageFilesWriter::discard() {
  next_.reset();
  written_.clear();
}

bool PageFilesWriter::prepareNext() {
  auto next = std::make_unique<TempOutput>(pagePath(static_cast<int>(written_.size()) + 1));
  if (!next->create()) {
    discard();
    return false;
  }
  next_ = std::move(next);
  return true;
}

}  // namespace pw
