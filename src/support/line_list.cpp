#include "support/line_list.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/file_reader.h"
#include "platform/heap_block.h"
#include "platform/last_error.h"
#include "platform/mapped_file.h"
#include "platform/wide_to_ansi.h"

namespace pw {

namespace {

// The list without a block, and what nextLine gives past any end; never written.
constexpr char kNoLines[] = "";

constexpr unsigned char kCr = 13;
constexpr unsigned char kLf = 10;

bool isLineEnd(unsigned char c) {
  return c == kCr || c == kLf;
}

// Copies text (at most length bytes, ending early at a NUL) into out as a line list and returns
// the end of what was written. Every line end becomes a NUL, preceded by a space when the line is
// empty; CR LF counts as one line end. out may lie below text in the same block as long as it
// starts at least one byte lower for every line-end byte of text: each such byte grows the output
// by at most one, so writing never overtakes reading.
char* splitLines(char* out, const unsigned char* text, std::size_t length) {
  char* const start = out;
  std::size_t at = 0;
  for (;;) {
    // The end of the file ends the text as a NUL would.
    const unsigned char c = at < length ? text[at++] : 0;
    if (c == 0) {
      *out++ = '\0';
      break;
    }
    if (!isLineEnd(c)) {
      *out++ = static_cast<char>(c);
      continue;
    }
    if (c == kCr && at < length && text[at] == kLf) ++at;
    if (out == start || out[-1] == '\0') *out++ = ' ';
    *out++ = '\0';
  }
  // Ends the list; after a final line end the text's own NUL already did.
  *out++ = '\0';
  return out;
}

}  // namespace

LineList::LineList(const char* text) {
  if (!text || !*text) return;
  const std::size_t length = std::strlen(text);
  // Without a block the list simply stays empty.
  if (!allocate(length + 2)) return;
  std::memcpy(lines_, text, length);
  lines_[length] = '\0';
  lines_[length + 1] = '\0';
}

void LineList::release() {
  detail::freeBlock(lines_);
  lines_ = nullptr;
  blockSize_ = 0;
}

bool LineList::allocate(std::size_t size) {
  if (size <= blockSize_) return true;
  release();
  lines_ = static_cast<char*>(detail::allocateBlock(size));
  if (!lines_) return false;
  blockSize_ = size;
  return true;
}

const char* LineList::firstLine() const {
  return lines_ ? lines_ : kNoLines;
}

int LineList::load(const char* path) {
  release();
  MappedFile file;
  const unsigned char* bytes = file.open(path, kMaxInsertFileBytes);
  // An empty file is an empty list, not a failure.
  if (!bytes) return lastError() == kErrorNoMoreItems ? 1 : 0;

  const uint32_t size = file.size();
  const bool wide = size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE;
  // Characters after any byte-order mark (an odd last byte of UTF-16 belongs to no unit), and the
  // line-end characters among them: each may need one byte more in the list.
  uint64_t count = 0;
  uint64_t breaks = 0;
  if (wide) {
    count = size / 2 - 1;
    for (uint64_t unit = 1; unit <= count; ++unit) {
      if (bytes[2 * unit + 1] == 0 && isLineEnd(bytes[2 * unit])) ++breaks;
    }
  } else {
    count = size;
    for (uint64_t at = 0; at < count; ++at) {
      if (isLineEnd(bytes[at])) ++breaks;
    }
  }

  // Room for every character, a space per line end, the text's NUL and the list's.
  const uint64_t blockSize = count + breaks + 2;
  if (blockSize > std::numeric_limits<std::size_t>::max() ||
      !allocate(static_cast<std::size_t>(blockSize))) {
    return failWith(kErrorOutOfMemory);
  }

  if (wide) {
    // The ANSI text goes to the end of the block so that the lines can be written over it from
    // the start: it is at most count bytes long, plus its NUL.
    char* text = lines_ + breaks;
    // The mapping is page-aligned, so the units after the mark are aligned too.
    const auto* units = reinterpret_cast<const char16_t*>(bytes + 2);
    wideToAnsi(text, static_cast<std::size_t>(count) + 1, units, static_cast<std::size_t>(count));
    splitLines(lines_, reinterpret_cast<const unsigned char*>(text),
               static_cast<std::size_t>(count) + 1);
  } else {
    splitLines(lines_, bytes, static_cast<std::size_t>(count));
  }
  return 1;
}

int LineList::load(FileReader& reader) {
  release();
  // The text is gathered in a block that doubles as it fills; its line ends are counted on the
  // way, so that the list's block can be sized once.
  struct Text {
    ~Text() { detail::freeBlock(bytes); }
    unsigned char* bytes = nullptr;
    std::size_t size = 0;
    std::size_t capacity = 0;
  } text;
  constexpr std::size_t kFirstCapacity = 64 * 1024;
  uint64_t breaks = 0;
  for (;;) {
    if (text.size == text.capacity) {
      // One byte over the limit is enough to tell a text that exceeds it.
      const std::size_t capacity = std::min<std::size_t>(
          text.capacity == 0 ? kFirstCapacity : text.capacity * 2, kMaxInsertFileBytes + 1);
      auto* bigger = static_cast<unsigned char*>(detail::allocateBlock(capacity));
      if (!bigger) return 0;
      if (text.size > 0) std::memcpy(bigger, text.bytes, text.size);
      detail::freeBlock(text.bytes);
      text.bytes = bigger;
      text.capacity = capacity;
    }
    uint32_t got = 0;
    const auto room = static_cast<uint32_t>(
        std::min<std::size_t>(text.capacity - text.size, std::numeric_limits<uint32_t>::max()));
    if (!reader.read(text.bytes + text.size, room, &got)) return 0;
    if (got == 0) break;
    const unsigned char* const added = text.bytes + text.size;
    text.size += got;
    if (text.size > kMaxInsertFileBytes) return failWith(kErrorFileTooLarge);
    // Nothing after the first NUL belongs to the text.
    const void* nul = std::memchr(added, 0, got);
    const std::size_t kept =
        nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - added) : got;
    for (std::size_t at = 0; at < kept; ++at) {
      if (isLineEnd(added[at])) ++breaks;
    }
    if (nul) {
      text.size -= got - kept;
      break;
    }
  }
  if (!allocate(static_cast<std::size_t>(text.size + breaks + 2))) return 0;
  splitLines(lines_, text.bytes, text.size);
  return 1;
}

const char* nextLine(const char* line) {
  if (!line || !*line) return kNoLines;
  return line + std::strlen(line) + 1;
}

}  // namespace pw
