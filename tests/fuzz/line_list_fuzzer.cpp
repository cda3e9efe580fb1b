// The line-list loader on arbitrary file contents, as they are and behind a UTF-16 byte-order
// mark. Every line of a loaded list must end inside the block, and the list must end.
#include <cstring>

#include "fuzz_support.h"
#include "support/line_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string path = scratchFolder() + "/lines.txt";
  static const uint8_t kUtf16Mark[] = {0xFF, 0xFE};
  for (const size_t markSize : {size_t{0}, sizeof kUtf16Mark}) {
    writeFile(path, kUtf16Mark, markSize, data, size);
    pw::LineList list;
    if (!list.load(path.c_str())) continue;
    std::size_t total = 0;
    for (const char* line = list.firstLine(); *line; line = pw::nextLine(line)) {
      total += std::strlen(line);  // reading past the block is the sanitizer's to catch
    }
    if (total > 2 * pw::kMaxInsertFileBytes) std::abort();
  }
  return 0;
}
