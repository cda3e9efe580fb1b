// Heap blocks that the support types own: the local heap on Windows, the C heap elsewhere.
#pragma once

#include <cstddef>
#include <memory>

namespace pw::detail {

/// A block of at least size bytes (contents undefined), or null with last error
/// kErrorNotEnoughMemory (8) when the heap cannot supply it.
[[nodiscard]] void* allocateBlock(std::size_t size);

/// Returns a block from allocateBlock to the heap; null is ignored. Keeps the last-error value.
void freeBlock(void* block);

struct BlockFreer {
  void operator()(void* block) const { freeBlock(block); }
};

}  // namespace pw::detail

namespace pw {

/// The one owner of a heap block from detail::allocateBlock.
using HeapBlock = std::unique_ptr<unsigned char[], detail::BlockFreer>;

/// A block of at least size bytes, or an empty owner with last error 8.
inline HeapBlock allocateHeapBlock(std::size_t size) {
  return HeapBlock(static_cast<unsigned char*>(detail::allocateBlock(size)));
}

}  // namespace pw
