#include <windows.h>

#include "platform/heap_block.h"

namespace pw::detail {

// Fixed blocks of the local heap; LocalAlloc leaves ERROR_NOT_ENOUGH_MEMORY itself on failure.
void* allocateBlock(std::size_t size) {
  return LocalAlloc(0, size);
}

void freeBlock(void* block) {
  if (!block) return;
  const DWORD saved = GetLastError();
  LocalFree(block);
  SetLastError(saved);
}

}  // namespace pw::detail
