// The line-list loader on arbitrary file contents, as they are and behind a UTF-16 byte-order
// mark. Every line of a loaded list must end inside the block, and the list must end.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scratch.h"
#include "support/line_list.h"

namespace {

const std::string& filePath() {
  static const std::string path = [] {
    std::string scratch = scratchPattern("pagewright-fuzz-lines");
    char* pattern = scratch.data();
    const int fd = mkstemp(pattern);
    if (fd < 0) std::abort();
    close(fd);
    return scratch;
  }();
  return path;
}

void writeFile(const uint8_t* prefix, std::size_t prefixSize, const uint8_t* data,
               std::size_t size) {
  const int fd = open(filePath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) std::abort();
  if ((prefixSize && write(fd, prefix, prefixSize) != static_cast<ssize_t>(prefixSize)) ||
      (size && write(fd, data, size) != static_cast<ssize_t>(size))) {
    std::abort();
  }
  close(fd);
}

void loadAndWalk() {
  pw::LineList list;
  if (!list.load(filePath().c_str())) return;
  std::size_t total = 0;
  for (const char* line = list.firstLine(); *line; line = pw::nextLine(line)) {
    total += std::strlen(line);  // reading past the block is the sanitizer's to catch
  }
  if (total > 2 * pw::kMaxInsertFileBytes) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const uint8_t kUtf16Mark[] = {0xFF, 0xFE};
  writeFile(nullptr, 0, data, size);
  loadAndWalk();
  writeFile(kUtf16Mark, sizeof kUtf16Mark, data, size);
  loadAndWalk();
  return 0;
}
