// The image library on arbitrary TIFF bytes: open, render, close. A rendered block is walked to
// its last pixel byte, as a surface drawing it would.
#include <cstring>

#include "fuzz_support.h"
#include "images/image_library.h"
#include "platform/heap_block.h"

static uint32_t readU32(const unsigned char* at) {
  uint32_t value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string path = scratchFolder() + "/image.tif";
  writeFile(path, data, size);

  pw::ImageLibrary& images = pw::platformImages();
  pw::ImageHandle image = images.open(path.c_str());
  if (!image) std::abort();  // the file exists; only rendering may fail
  const pw::HeapBlock owner = images.render(image);
  images.close(image);
  if (!owner) return 0;

  const unsigned char* block = owner.get();
  const unsigned char* info = block + pw::kBitmapFileHeaderSize;
  const uint32_t width = readU32(info + 4);
  const uint32_t height = readU32(info + 8);
  const uint32_t bitCount = static_cast<uint32_t>(info[14]) | static_cast<uint32_t>(info[15]) << 8;
  if (width == 0 || height == 0 || (bitCount != 1 && bitCount != 24)) std::abort();
  const auto* pixels = static_cast<const unsigned char*>(images.locatePixels(info));
  const uint64_t stride = (uint64_t{width} * bitCount + 31) / 32 * 4;
  if (pixels + stride * height != block + readU32(block + 2)) std::abort();
  unsigned sum = 0;
  for (uint64_t i = 0; i < stride * height; ++i) sum += pixels[i];
  return static_cast<int>(sum & 0);
}
