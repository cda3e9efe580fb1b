// Heap blocks that the support types own: the local heap on Windows, the C heap elsewhere.
#pragma once

#include <cstddef>

namespace pw::detail {

/// A block of at least size bytes (contents undefined), or null with last error
/// kErrorNotEnoughMemory (8) when the heap cannot supply it.
[[nodiscard]] void* allocateBlock(std::size_t size);

/// Returns a block from allocateBlock to the heap; null is ignored. Keeps the last-error value.
void freeBlock(void* block);

}  // namespace pw::detail
