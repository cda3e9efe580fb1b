#include "raster/output/ccitt_coder.h"

#include <algorithm>
#include <array>
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

constexpr int kMaxWidth = 0xFFFF;  // positions are 16 bits

uint64_t loadBigEndian(const uint8_t* bytes) {
  uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::little) value = __builtin_bswap64(value);
  return value;
}

// Appends code words to a byte vector, first bit most significant. Words collect at the top of
// a 64-bit register; flush() stores all eight of its bytes and moves on by the whole ones, so
// that no branch depends on the words' lengths. Between flushes at most 56 bits may be put.
// reserve() makes room ahead, so that neither checks for it.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out) {
    const size_t at = out_->size();
    out_->resize(at + 4096);
    next_ = out_->data() + at;
    limit_ = out_->data() + out_->size();
  }

  void reserve(size_t bytes) {
    if (static_cast<size_t>(limit_ - next_) < bytes + sizeof pending_) grow(bytes);
  }

  void put(uint32_t bits, int length) {
    pending_ |= uint64_t{bits} << (64 - count_ - length);
    count_ += length;
  }
  void put(Code code) { put(code.bits, code.length); }

  void flush() {
    uint64_t bytes = pending_;
    if constexpr (std::endian::native == std::endian::little) bytes = __builtin_bswap64(bytes);
    std::memcpy(next_, &bytes, sizeof bytes);
    next_ += count_ / 8;
    pending_ <<= count_ & ~7;
    count_ &= 7;
  }

  // n one bits: n V0 words.
  void putOnes(int n) {
    flush();
    for (; n > 48; n -= 48) {
      pending_ |= (~uint64_t{0} << 16) >> count_;
      count_ += 48;
      flush();
    }
    pending_ |= ~(~uint64_t{0} >> n) >> count_;
    count_ += n;
    flush();
  }

  // Zero bits up to the point where a word of the given length would end on a byte boundary.
  void alignEnd(int length) { count_ += (8 - (count_ + length) % 8) % 8; }

  // A run: its terminating word, after make-up words for 64 pixels or more. Puts at most 12
  // bits after a flush of its own.
  void putRun(const RunCodes& codes, int run) {
    if (run >= 64) [[unlikely]] {
      putMakeUp(codes, run);
      run %= 64;
    }
    put(codes.terminating[static_cast<size_t>(run)]);
  }

  // Pads the last byte with zeros and trims the vector to what was written.
  void finish() {
    flush();
    next_ += (count_ + 7) / 8;
    out_->resize(static_cast<size_t>(next_ - out_->data()));
  }

 private:
  void putMakeUp(const RunCodes& codes, int run) {
    flush();
    for (; run >= ccitt::kMaxMakeUp + 64; run -= ccitt::kMaxMakeUp) {
      put(codes.makeUp.back());
      flush();
    }
    put(codes.makeUp[static_cast<size_t>(run / 64 - 1)]);
  }

  void grow(size_t bytes) {
    const size_t at = static_cast<size_t>(next_ - out_->data());
    out_->resize(std::max(out_->size() * 2, at + bytes + sizeof pending_));
    next_ = out_->data() + at;
    limit_ = out_->data() + out_->size();
  }

  std::vector<uint8_t>* out_;
  uint8_t* next_ = nullptr;
  uint8_t* limit_ = nullptr;
  uint64_t pending_ = 0;  // the top count_ bits are still to be written
  int count_ = 0;
};

// The set bits of each byte as offsets from the byte's first bit, most significant first:
// eight 16-bit entries, packed four to a word as they lie in memory, and their count.
struct ByteBits {
  std::array<std::array<uint64_t, 2>, 256> offsets{};
  std::array<uint8_t, 256> counts{};
};

constexpr ByteBits byteBits() {
  ByteBits table;
  for (int byte = 0; byte < 256; ++byte) {
    int count = 0;
    for (int bit = 0; bit < 8; ++bit) {
      if (((byte << bit) & 0x80) == 0) continue;
      const int lane = count % 4;
      const int shift = std::endian::native == std::endian::little ? 16 * lane : 48 - 16 * lane;
      table.offsets[static_cast<size_t>(byte)][static_cast<size_t>(count / 4)] |=
          static_cast<uint64_t>(bit) << shift;
      ++count;
    }
    table.counts[static_cast<size_t>(byte)] = static_cast<uint8_t>(count);
  }
  return table;
}

constexpr ByteBits kByteBits = byteBits();

// The changes of a row: the positions of the pixels whose colour differs from the one before
// (the pixel before the row counts as white), ascending, then copies of the width, so that
// coding can read a few changes ahead without checking for the end. The entry before the first
// is 0, which is at or before any position.
class ChangeList {
 public:
  static constexpr int kAhead = 8;

  explicit ChangeList(int width)
      : width_(width), storage_(static_cast<size_t>(width) + 1 + kAhead) {
    clear();
  }

  const uint16_t* changes() const { return storage_.data() + 1; }
  int count() const { return count_; }
  void clear() { setCount(0); }

  // XORs each word of the row with itself shifted by a pixel, then looks up the set bits of
  // each byte of that: eight positions written whatever the byte holds, of which its count are
  // kept, so that no branch depends on the changes themselves.
  void find(const uint8_t* row) {
    uint16_t* next = storage_.data() + 1;
    uint64_t before = 0;  // the last pixel of the previous word, in bit 63
    const int words = (width_ + 63) / 64;
    for (int i = 0; i < words; ++i) {
      uint64_t pixels;
      if (i < width_ / 64) {
        pixels = loadBigEndian(row + 8 * i);
      } else {
        pixels = 0;
        for (int b = 0; b < (width_ % 64 + 7) / 8; ++b) {
          pixels |= uint64_t{row[8 * i + b]} << (56 - 8 * b);
        }
      }
      uint64_t edges = pixels ^ (pixels >> 1 | before);
      before = pixels << 63;
      // The bits past the row's end may hold anything; they neither count nor end a run.
      if (64 * (i + 1) > width_) edges &= ~uint64_t{0} << (64 * (i + 1) - width_);
      if (edges == 0) continue;
      for (int b = 0; b < 8; ++b) {
        const auto byte = static_cast<uint8_t>(edges >> (56 - 8 * b));
        // The byte's position added to all four entries of a word at once; none carries.
        const uint64_t at = static_cast<uint64_t>(64 * i + 8 * b) * 0x0001000100010001u;
        const uint64_t first = kByteBits.offsets[byte][0] + at;
        const uint64_t second = kByteBits.offsets[byte][1] + at;
        std::memcpy(next, &first, sizeof first);
        std::memcpy(next + 4, &second, sizeof second);
        next += kByteBits.counts[byte];
      }
    }
    setCount(static_cast<int>(next - changes()));
  }

 private:
  void setCount(int count) {
    count_ = count;
    std::fill_n(storage_.data() + 1 + count, kAhead, static_cast<uint16_t>(width_));
  }

  int width_;
  // The entry before the list, up to width changes, and eight entries that take the writes
  // past the last change while finding, then the copies of the width.
  std::vector<uint16_t> storage_;
  int count_ = 0;
};

// A row on its own: runs of alternate colour from white (possibly empty), in pairs.
void codeOneD(BitWriter& out, const uint16_t* changes, int count, int width) {
  int start = 0;
  int i = 0;
  for (; i < count; i += 2) {
    out.putRun(ccitt::kWhiteRuns, changes[i] - start);
    out.putRun(ccitt::kBlackRuns, changes[i + 1] - changes[i]);  // the width after the last
    out.flush();
    start = changes[i + 1];
  }
  if (i == count) {  // an even count of changes: the last run is white
    out.putRun(ccitt::kWhiteRuns, width - start);
    out.flush();
  }
}

// A row against the reference row above it. a0 starts just before the row; the colour of a0
// is the parity of the changes before it, and b1 is the first reference change after a0 to the
// opposite colour.
void codeTwoD(BitWriter& out, const uint16_t* a, const uint16_t* b, int width) {
  int a0 = -1;
  int i = 0;  // a[i] is a1, the first change after a0
  int j = 0;  // b[j] is b1
  for (;;) {
    // Rows of text mostly change near where the row above changed: each change of the row is
    // coded by a vertical word against the next change of the reference row, a1 at a[i + m]
    // and b1 at b[j + m] for m = 0, 1, ... Up to four such words are taken at once without a
    // branch for each, since where they end could seldom be guessed.
    int taken = 0;
    bool along = true;
    uint32_t bits = 0;
    int length = 0;
    for (int m = 0; m < 4; ++m) {
      const int a1 = a[i + m];
      const int b1 = b[j + m];
      const int b2 = b[j + m + 1];
      const int d = a1 - b1;
      along = along && d >= -3 && d <= 3 && b2 >= a1;  // vertical, not pass
      const ccitt::Code code = ccitt::kVertical[static_cast<size_t>(std::clamp(d, -3, 3) + 3)];
      bits = along ? bits << code.length | code.bits : bits;
      length += along ? code.length : 0;
      taken += along;
      // Then b1 is b[j + m + 1] if that is after a1 (so a1 was not the row's end) and
      // b[j + m - 1] is not.
      along = along && b2 > a1 && b[j + m - 1] <= a1;
    }
    if (taken > 0) {
      out.put(bits, length);
      out.flush();
      i += taken;
      a0 = a[i - 1];
      if (along) {
        j += taken;
        continue;
      }
      if (a0 >= width) return;
      // The last b1 is within three pixels of a0, and b1 before it was not after a0's
      // predecessor, so the first reference change after a0 is one of three.
      const int s = j + taken - 2;
      const int k = s + (b[s] <= a0) + (b[s + 1] <= a0) + (b[s + 2] <= a0);
      j = k + ((k ^ i) & 1);
      continue;
    }
    const int a1 = a[i];
    const int b2 = b[j + 1];
    if (b2 < a1) {
      out.put(ccitt::kPass);
      out.flush();
      a0 = b2;
      j += 2;
      continue;
    }
    const int a2 = a[i + 1];
    const bool white = i % 2 == 0;
    out.put(ccitt::kHorizontal);
    out.putRun(white ? ccitt::kWhiteRuns : ccitt::kBlackRuns, a1 - std::max(a0, 0));
    out.putRun(white ? ccitt::kBlackRuns : ccitt::kWhiteRuns, a2 - a1);
    out.flush();
    a0 = a2;
    if (a0 >= width) return;
    i += 2;
    // b[j - 2] is not after the old a0, so the first reference change after a2 is from j - 1.
    int k = j - 1;
    while (b[k] <= a0) ++k;
    j = k + ((k ^ i) & 1);
  }
}

void code(const CcittImage& image, const CcittOptions& options, std::vector<uint8_t>* bytes) {
  const int width = image.width;
  const size_t rowBytes = static_cast<size_t>(width + 7) / 8;
  const bool t4 = options.coding != CcittCoding::kT6;
  ChangeList lists[2] = {ChangeList(width), ChangeList(width)};
  ChangeList* current = &lists[0];
  ChangeList* reference = &lists[1];  // the first row's reference row is white
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
                       : reference->count() == 0);
    if (!sameAsReference) {
      if (inked) {
        current->find(row);
      } else {
        current->clear();
      }
    }
    const int count = sameAsReference ? reference->count() : current->count();
    // An EOL, a tag bit, runs of up to 2560 pixels and vertical words: at most 32 bits for
    // each change of the row, and a few for each of the reference row and each 2560 pixels.
    out.reserve(16 + 4 * static_cast<size_t>(count) + static_cast<size_t>(reference->count()) / 2 +
                rowBytes / 128);
    if (t4) {
      if (options.alignEol) out.alignEnd(ccitt::kEol.length);
      out.put(ccitt::kEol);
      if (options.coding == CcittCoding::kT4TwoD) out.put(twoD ? 0 : 1, 1);
      out.flush();
    }
    if (sameAsReference) {
      out.putOnes(count + 1);
    } else {
      if (twoD) {
        codeTwoD(out, current->changes(), reference->changes(), width);
      } else {
        codeOneD(out, current->changes(), count, width);
      }
      std::swap(current, reference);
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
  if (image.width < 1 || image.width > kMaxWidth || image.height < 1 ||
      image.stride < static_cast<size_t>(image.width + 7) / 8 || image.bits == nullptr ||
      out == nullptr || (options.coding == CcittCoding::kT4TwoD && options.k < 1)) {
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
