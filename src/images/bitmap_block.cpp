#include "images/bitmap_block.h"

#include <cstring>

#include "images/image_library.h"
#include "platform/last_error.h"

namespace pw {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kBitfieldsMaskSize = 12;
constexpr uint32_t kMaxBmpSide = 0x7FFFFFFF;  // biWidth and biHeight are signed

void putU16(unsigned char* at, uint16_t value) {
  at[0] = static_cast<unsigned char>(value);
  at[1] = static_cast<unsigned char>(value >> 8);
}

void putU32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t getU32(const unsigned char* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// The text of kErrorImageTooLarge names these limits.
static_assert(kMaxImagePixels == uint64_t{64} << 20 && kMaxImageBytes == uint64_t{256} << 20);

}  // namespace

// An image beyond the limits fails with a code of its own, whose text names them.
bool planBitmapBlock(uint32_t width, uint32_t height, uint16_t bitCount, BmpLayout* layout) {
  if (width > kMaxBmpSide || height > kMaxBmpSide || uint64_t{width} * height > kMaxImagePixels) {
    return fail(kErrorImageTooLarge);
  }
  const uint64_t stride = (uint64_t{width} * bitCount + 31) / 32 * 4;
  if (height != 0 && stride > kMaxImageBytes / height) return fail(kErrorImageTooLarge);
  layout->width = width;
  layout->height = height;
  layout->bitCount = bitCount;
  layout->colours = bitCount == 1 ? 2 : 0;
  layout->stride = stride;
  layout->pixelOffset = kBitmapFileHeaderSize + kBitmapInfoHeaderSize + 4 * layout->colours;
  layout->totalSize = layout->pixelOffset + stride * height;
  return true;
}

void writeBitmapHeaders(unsigned char* block, const BmpLayout& layout, int32_t xPelsPerMetre,
                        int32_t yPelsPerMetre) {
  std::memset(block, 0, static_cast<std::size_t>(layout.pixelOffset));
  block[0] = 'B';
  block[1] = 'M';
  putU32(block + 2, static_cast<uint32_t>(layout.totalSize));
  putU32(block + 10, static_cast<uint32_t>(layout.pixelOffset));
  unsigned char* info = block + kBitmapFileHeaderSize;
  putU32(info, kBitmapInfoHeaderSize);
  putU32(info + 4, layout.width);
  putU32(info + 8, layout.height);  // positive: bottom-up
  putU16(info + 12, 1);
  putU16(info + 14, layout.bitCount);
  putU32(info + 16, kBiRgb);
  putU32(info + 20, static_cast<uint32_t>(layout.stride * layout.height));
  putU32(info + 24, static_cast<uint32_t>(xPelsPerMetre));
  putU32(info + 28, static_cast<uint32_t>(yPelsPerMetre));
  putU32(info + 32, layout.colours);
}

const void* bitmapPixels(const void* bitmapInfo) {
  const auto* info = static_cast<const unsigned char*>(bitmapInfo);
  const uint32_t headerSize = getU32(info);
  const uint32_t bitCount = static_cast<uint32_t>(info[14]) | static_cast<uint32_t>(info[15]) << 8;
  const uint32_t compression = getU32(info + 16);
  uint32_t colours = getU32(info + 32);
  if (colours == 0 && bitCount <= 8) colours = 1u << bitCount;
  uint64_t offset = uint64_t{headerSize} + uint64_t{colours} * 4;
  if (compression == kBiBitfields && headerSize == kBitmapInfoHeaderSize) {
    offset += kBitfieldsMaskSize;
  }
  return info + offset;
}

}  // namespace pw
