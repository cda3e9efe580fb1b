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

constexpr int kMaxWidth = 0xFFFF;  // positions are 16 bits
constexpr uint64_t kTopBit = uint64_t{1} << 63;

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

// The changes of a row: the positions of the pixels whose colour differs from the one before
// (the pixel before the row counts as white), ascending. The list sits at the end of its
// storage, followed by copies of the width, so that coding can read a few changes ahead without
// checking for the end.
class ChangeList {
 public:
  static constexpr int kAhead = 8;

  explicit ChangeList(int width)
      : width_(width), storage_(static_cast<size_t>(width) + 1 + kAhead) {
    end_ = storage_.data() + width + 1;
    std::fill_n(end_, kAhead, static_cast<uint16_t>(width));
    begin_ = end_;
  }

  const uint16_t* changes() const { return begin_; }
  int count() const { return static_cast<int>(end_ - begin_); }
  void clear() { begin_ = end_; }

  // XORs each word of the row with itself shifted by a pixel and takes the set bits. Words go
  // from the row's end to its start and bits from the lowest, so that changes come from the
  // right and the list grows downwards.
  void find(const uint8_t* row) {
    const int words = width_ / 64;
    const int rest = width_ % 64;
    int index = words;
    uint64_t pixels = 0;
    // The bits past the row's end may hold anything; they neither count nor end a run.
    uint64_t inRow = ~uint64_t{0};
    if (rest != 0) {
      for (int i = 0; i < (rest + 7) / 8; ++i) {
        pixels |= uint64_t{row[8 * words + i]} << (56 - 8 * i);
      }
      inRow <<= 64 - rest;
    } else {
      pixels = loadBigEndian(row + 8 * --index);
    }
    uint16_t* next = end_;
    for (; index >= 0; --index) {
      const uint64_t left = index > 0 ? loadBigEndian(row + 8 * (index - 1)) : 0;
      uint64_t edges = (pixels ^ (pixels >> 1 | left << 63)) & inRow;
      inRow = ~uint64_t{0};
      const int last = 64 * index + 63;  // the position of bit 0
      // Eight bits a round, whatever the word holds, so that no branch depends on each one:
      // with no bit left the write lands in the free slot below the list without claiming it.
      // (The top bit keeps the count of zeros from needing a branch for a zero word.)
      while (edges != 0) {
#pragma GCC unroll 8
        for (int n = 0; n < 8; ++n) {
          next[-1] = static_cast<uint16_t>(last - std::countr_zero(edges | kTopBit));
          next -= edges != 0;
          edges &= edges - 1;
        }
      }
      pixels = left;
    }
    begin_ = next;
  }

 private:
  int width_;
  // Up to width changes, after a free slot for the writes past the last change.
  std::vector<uint16_t> storage_;
  uint16_t* end_;
  uint16_t* begin_;
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

// How many of the first three entries of two lists are equal before the first that differs.
int sameAhead(const uint16_t* a, const uint16_t* b) {
  uint64_t left;
  uint64_t right;
  std::memcpy(&left, a, sizeof left);
  std::memcpy(&right, b, sizeof right);
  // Four entries a word; the fourth only stops the count, without a branch for equal words.
  if constexpr (std::endian::native == std::endian::little) {
    return std::countr_zero((left ^ right) | kTopBit) / 16;
  }
  return std::countl_zero((left ^ right) | 1) / 16;
}

// A row against the reference row above it. a0 starts just before the row; the colour of a0
// is the parity of the changes before it. Pass and vertical modes, nine in ten words of text,
// take no branch that depends on the pictures, since such branches would mostly be guessed
// wrong.
void codeTwoD(BitWriter& out, const uint16_t* a, int count, const uint16_t* b, int width) {
  int a0 = -1;
  int i = 0;  // a[i] is a1, the first change after a0
  int k = 0;  // b[k] is the first reference change after a0
  for (;;) {
    // b1 is the first reference change after a0 to the colour opposite a0's.
    const int j = k + ((k ^ i) & 1);
    const int a1 = a[i];
    const int b1 = b[j];
    const int b2 = b[j + 1];
    const int d = a1 - b1;
    const bool pass = b2 < a1;
    if (!pass && (d < -3 || d > 3)) {
      const int a2 = a[i + 1];
      const bool white = i % 2 == 0;
      out.put(ccitt::kHorizontal);
      out.putRun(white ? ccitt::kWhiteRuns : ccitt::kBlackRuns, a1 - std::max(a0, 0));
      out.putRun(white ? ccitt::kBlackRuns : ccitt::kWhiteRuns, a2 - a1);
      out.flush();
      a0 = a2;
      if (a0 >= width) return;
      i += 2;
      while (b[k] <= a0) ++k;
      continue;
    }
    // V0 words come several in a row where both rows change at the same places; up to three
    // are taken at once, up to the row's end.
    const bool v0 = !pass && d == 0;
    const int same = std::min(sameAhead(a + i, b + j), count + 1 - i);
    ccitt::Code code =
        pass ? ccitt::kPass : ccitt::kVertical[static_cast<size_t>(pass ? 3 : d + 3)];
    if (v0) code = {(1u << same) - 1, same};
    out.put(code);
    out.flush();
    // b1 is within three pixels of a1 and b2 is not before it, so a vertical word passes at
    // most three reference changes.
    const int passed = (b[k] <= a1) + (b[k + 1] <= a1) + (b[k + 2] <= a1);
    const int taken = pass ? 0 : v0 ? same : 1;
    i += taken;
    a0 = pass ? b2 : a[i - 1 + pass];
    k = pass ? j + 2 : v0 ? j + same : k + passed;
    if (a0 >= width) return;
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
        codeTwoD(out, current->changes(), count, reference->changes(), width);
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
