// The image library: turns an image file into an in-memory BMP that the converter can draw.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/heap_block.h"

namespace pw {

/// An open image file; null when none.
using ImageHandle = void*;

/// The image block starts with a BITMAPFILEHEADER of this size; the BITMAPINFO follows it.
inline constexpr std::size_t kBitmapFileHeaderSize = 14;

/// The four operations the converter performs on images. Abstract so that tests can inject
/// failures.
class ImageLibrary {
 public:
  virtual ~ImageLibrary() = default;

  /// Opens the image file at path for reading. Returns its handle, or null with the last-error
  /// value set (2 file not found, 3 path not found, 5 access denied, 336 a directory (POSIX), 222
  /// not a regular file (POSIX), ...).
  virtual ImageHandle open(const char* path) = 0;

  /// Decodes the image (its first page) into an image block: a BITMAPFILEHEADER, a BITMAPINFO
  /// (header and colour table) and the pixel array in one heap block, which may outlive the
  /// handle. Empty on failure with the last-error value set (11 or 13 not a readable image,
  /// kErrorImageTooLarge beyond the decoding limits, 8 no memory).
  virtual HeapBlock render(ImageHandle image) = 0;

  /// Closes a handle from open; null is ignored. Keeps the last-error value.
  virtual void close(ImageHandle image) = 0;

  /// The pixel array that belongs to bitmapInfo, the BITMAPINFO inside an image block from
  /// render (block + kBitmapFileHeaderSize).
  virtual const void* locatePixels(const void* bitmapInfo) = 0;
};

/// The platform's image library.
ImageLibrary& platformImages();

}  // namespace pw
