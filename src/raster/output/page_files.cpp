#include "raster/output/page_files.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/last_error.h"

namespace pw {

namespace {

constexpr int kMinDigits = 3;
constexpr int kMaxDigits = 9;  // more pages than any document can have

int digitsFor(int pageCount) {
  int digits = 1;
  for (int rest = pageCount; rest >= 10; rest /= 10) ++digits;
  return std::max(digits, kMinDigits);
}

std::string pageName(const PageFileNaming& naming, long page, int digits) {
  char number[24];
  std::snprintf(number, sizeof number, "%0*ld", digits, page);
  return naming.stem + naming.separator + number + naming.suffix;
}

}  // namespace

std::string PageFileNaming::name(int page, int pageCount) const {
  return pageName(*this, page, digitsFor(pageCount));
}

bool PageFilesWriter::writeCoded(const CodedPage& page) {
  if (!next_) return failWith(kErrorInvalidHandle);
  if (!next_->append(page.bytes(), page.size)) {
    const uint32_t code = lastError();
    discard();
    return failWith(code);
  }
  written_.push_back(std::move(*next_));
  next_.reset();
  return prepareNext();
}

bool PageFilesWriter::finish() {
  next_.reset();
  return true;
}

bool PageFilesWriter::commit() {
  // All pages go into place together, or none if the host is leaving on a signal.
  const auto lock = lockTempOutputs();
  const int count = static_cast<int>(written_.size());
  for (int i = 0; i < count; ++i) {
    if (!written_[static_cast<size_t>(i)].commitAs(naming_.name(i + 1, count))) {
      const uint32_t code = lastError();
      discard();
      return failWith(code);
    }
  }
  written_.clear();
  // The document replaces an older one of the same name whole: pages it no longer has would
  // otherwise be sent with it by whoever collects the pages by their names.
  if (count > 0) removeStalePages(count);
  return true;
}

bool PageFilesWriter::commitTo(int) {
  discard();
  return failWith(kErrorNotSupported);
}

void PageFilesWriter::discard() {
  next_.reset();
  written_.clear();
}

bool PageFilesWriter::prepareNext() {
  const int page = static_cast<int>(written_.size()) + 1;
  auto next = std::make_unique<TempOutput>(naming_.name(page, page));
  if (!next->create()) {
    discard();
    return false;
  }
  next_ = std::move(next);
  return true;
}

// Pages beyond the count, and every page numbered with another width; each run of them ends at
// its first missing number.
void PageFilesWriter::removeStalePages(int count) const {
  long limit = 1;
  for (int digits = 1; digits <= kMaxDigits; ++digits) {
    limit *= 10;
    if (digits < kMinDigits) continue;
    const long first = digits == digitsFor(count) ? long{count} + 1 : 1;
    for (long page = first; page < limit; ++page) {
      if (unlink(pageName(naming_, page, digits).c_str()) != 0) break;
    }
  }
}

}  // namespace pw
