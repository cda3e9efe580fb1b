#include <cstdlib>

#include "platform/heap_block.h"
#include "platform/last_error.h"

namespace pw::detail {

void* allocateBlock(std::size_t size) {
  // malloc(0) may give null; a one-byte block keeps "null means failure" true.
  void* block = std::malloc(size ? size : 1);
  if (!block) setLastError(kErrorNotEnoughMemory);
  return block;
}

void freeBlock(void* block) {
  std::free(block);
}

}  // namespace pw::detail
