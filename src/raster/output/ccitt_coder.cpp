#include "raster/output/ccitt_coder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <utility>

#include "platform/last_error.h"
#include "raster/output/ccitt_codes.h"

namespace pw {

namespace {

using ccitt::Code;
using ccitt::RunCodes;

constexpr int kMaxWidth = 1 << 24;  // keeps positions and run sums well inside int
constexpr uint64_t kTopBit = uint64_t{1} << 63;

uint64_t loadBigEndian(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

// Appends code words to a byte vector, first bit most significant. Words collect in a 64-bit
// register and leave it 32 bits at a time; reserve() makes room ahead, so that put() never
// checks for it.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {
    const size_t at = out_->size();
    out_->resize(at + 4096);
    next_ = out_->data() + at;
    limit_ = out_->data() + out_->size();
  }

  void reserve(size_t bytes) {
    if (static_cast<size_t>(limit_ - next_) < bytes) grow(bytes);
  }

  void put(uint32_t bits, int length) {
    pending_ = pending_ << length | bits;
    count_ += length;
    if (count_ >= 32) {
      count_ -= 32;
      uint32_t out = static_cast<uint32_t>(pending_ >> count_);
      if constexpr (std::endian::native == std::endian::little) out = __builtin_bswap32(out);
      std::memcpy(next_, &out, sizeof out);
      next_ += 4;
    }
  }
  void put(Code code) { put(code.bits, code.length); }

  // n one bits: n V0 words.
  void putOnes(int n) {
    for (; n > 32; n -= 32) put(0xFFFFFFFFu, 32);
    put(static_cast<uint32_t>((uint64_t{1} << n) - 1), n);
  }

  // Zero bits up to the point where a word of the given length would end on a byte boundary.
  void alignEnd(int length) { put(0, (8 - (count_ + length) % 8) % 8); }

  void putRun(const RunCodes& codes, int run) {
    if (run < 64) {
      put(codes.terminating[static_cast<size_t>(run)]);
      return;
    }
    for (; run >= ccitt::kMaxMakeUp + 64; run -= ccitt::kMaxMakeUp) put(codes.makeUp.back());
    put(ccitt::join(codes.makeUp[static_cast<size_t>(run / 64 - 1)],
                    codes.terminating[static_cast<size_t>(run % 64)]));
  }

  // Pads the last byte with zeros and trims the vector to what was written.
  void finish() {
    alignEnd(0);
    for (; count_ > 0; count_ -= 8) *next_++ = static_cast<uint8_t>(pending_ >> (count_ - 8));
    out_->resize(static_cast<size_t>(next_ - out_->data()));
  }

 private:
  void grow(size_t bytes) {
    const size_t at = static_cast<size_t>(next_ - out_->data());
    out_->resize(std::max(out_->size() * 2, at + bytes));
    next_ = out_->data() + at;
    limit_ = out_->data() + out_->size();
  }

  std::vector<uint8_t>* out_;
  uint8_t* next_ = nullptr;
  uint8_t* limit_ = nullptr;
  uint64_t pending_ = 0;  // the low count_ bits are still to be written
  int count_ = 0;
};

// Finds the changing elements of a row, the pixels whose colour differs from the one before
// (the pixel before the row counts as white), 64 at a time: XOR each word with itself shifted
// by a pixel, then count leading zeros. Writes their positions in ascending order and returns
// their count.
int findChanges(const uint8_t* row, int width, int* changes) {
  int count = 0;
  uint64_t before = 0;  // the last pixel of the previous word, in bit 63
  auto collect = [&](uint64_t pixels, int at, uint64_t mask) {
    uint64_t edges = (pixels ^ (pixels >> 1 | before)) & mask;
    before = pixels << 63;
    while (edges != 0) {
      const int offset = std::countl_zero(edges);
      changes[count++] = at + offset;
      edges ^= kTopBit >> offset;
    }
  };
  const int words = width / 64;
  for (int i = 0; i < words; ++i) collect(loadBigEndian(row + 8 * i), 64 * i, ~uint64_t{0});
  if (const int rest = width % 64; rest != 0) {
    const uint8_t* tail = row + 8 * words;
    uint64_t pixels = 0;
    for (int i = 0; i < (rest + 7) / 8; ++i) pixels |= uint64_t{tail[i]} << (56 - 8 * i);
    // The bits past the row's end may hold anything; they neither count nor end a run.
    const uint64_t mask = ~uint64_t{0} << (64 - rest);
    collect(pixels & mask, 64 * words, mask);
  }
  return count;
}

// A row on its own: alternate white and black runs, starting with white (possibly empty).
// changes[count] is the row's width.
void codeOneD(BitWriter& out, const int* changes, int count) {
  int start = 0;
  for (int i = 0; i <= count; ++i) {
    out.putRun(i % 2 == 0 ? ccitt::kWhiteRuns : ccitt::kBlackRuns, changes[i] - start);
    start = changes[i];
  }
}

// A row against the reference row above it. Both lists of changes end in three copies of the
// width. a0 starts just before the row; the colour of a0 is the parity of the changes before it.
void codeTwoD(BitWriter& out, const int* a, const int* b, int width) {
  int a0 = -1;
  int i = 0;  // a[i] is a1, the first change after a0
  int k = 0;  // b[k] is the first reference change after a0
  for (;;) {
    while (b[k] <= a0) ++k;
    // b1 is the first reference change after a0 to the colour opposite a0's.
    const int j = k + ((k ^ i) & 1);
    const int a1 = a[i];
    const int b1 = b[j];
    const int b2 = b[j + 1];
    if (b2 < a1) {
      out.put(ccitt::kPass);
      a0 = b2;
      continue;  // b2 < a1 <= width
    }
    const int d = a1 - b1;
    if (d >= -3 && d <= 3) {
      out.put(ccitt::kVertical[static_cast<size_t>(d + 3)]);
      a0 = a1;
      ++i;
    } else {
      const int a2 = a[i + 1];
      const bool white = i % 2 == 0;
      out.put(ccitt::kHorizontal);
      out.putRun(white ? ccitt::kWhiteRuns : ccitt::kBlackRuns, a1 - std::max(a0, 0));
      out.putRun(white ? ccitt::kBlackRuns : ccitt::kWhiteRuns, a2 - a1);
      a0 = a2;
      i += 2;
    }
    if (a0 >= width) return;
  }
}

void code(const CcittImage& image, const CcittOptions& options, std::vector<uint8_t>* bytes) {
  const int width = image.width;
  const size_t rowBytes = static_cast<size_t>(width + 7) / 8;
  const bool t4 = options.coding != CcittCoding::kT6;
  // Each list holds up to width changes and three sentinels.
  std::vector<int> lists(2 * (static_cast<size_t>(width) + 3));
  int* current = lists.data();
  int* reference = current + width + 3;
  int referenceCount = 0;  // the first reference row is white
  std::fill_n(reference, 3, width);
  const uint8_t* referenceRow = nullptr;

  BitWriter out(bytes);
  for (int y = 0; y < image.height; ++y) {
    const uint8_t* row = image.bits + static_cast<size_t>(y) * image.stride;
    const bool inked = image.inkedRows == nullptr || image.inkedRows[y] != 0;
    const bool twoD = options.coding == CcittCoding::kT6 ||
                      (options.coding == CcittCoding::kT4TwoD && y % options.k != 0);
    // A row like its reference is all V0: no need to find its changes.
    const bool sameAsReference =
        twoD && (inked ? referenceRow != nullptr && std::memcmp(row, referenceRow, rowBytes) == 0
                       : referenceCount == 0);
    int count = referenceCount;
    if (!sameAsReference) {
      count = inked ? findChanges(row, width, current) : 0;
      std::fill_n(current + count, 3, width);
    }
    // An EOL, a tag bit, runs of up to 2560 pixels and vertical words: at most 32 bits for
    // each change of the row, and a few for each of the reference row and each 2560 pixels.
    out.reserve(16 + 4 * static_cast<size_t>(count) + static_cast<size_t>(referenceCount) / 2 +
                rowBytes / 128);
    if (t4) {
      if (options.alignEol) out.alignEnd(ccitt::kEol.length);
      out.put(ccitt::kEol);
      if (options.coding == CcittCoding::kT4TwoD) out.put(twoD ? 0 : 1, 1);
    }
    if (sameAsReference) {
      out.putOnes(referenceCount + 1);
    } else {
      if (twoD) {
        codeTwoD(out, current, reference, width);
      } else {
        codeOneD(out, current, count);
      }
      std::swap(current, reference);
      referenceCount = count;
    }
    // Rows marked white are not read, so they never serve as the row compared with.
    referenceRow = inked ? row : nullptr;
  }
  if (!t4) {
    out.reserve(8);
    out.put(ccitt::kEol);  // EOFB
    out.put(ccitt::kEol);
  }
  out.reserve(8);
  out.finish();
}

}  // namespace

bool codeCcitt(const CcittImage& image, const CcittOptions& options, std::vector<uint8_t>* out) {
  if (image.width < 1 || image.width > kMaxWidth || image.height < 0 ||
      image.stride < static_cast<size_t>(image.width + 7) / 8 ||
      (image.height > 0 && image.bits == nullptr) || out == nullptr ||
      (options.coding == CcittCoding::kT4TwoD && options.k < 1)) {
    return failWith(kErrorInvalidParameter) != 0;
  }
  try {
    code(image, options, out);
  } catch (const std::bad_alloc&) {
    return failWith(kErrorNotEnoughMemory) != 0;
  }
  return true;
}

}  // namespace pw
