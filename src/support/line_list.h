// Lists of lines: NUL-terminated strings, one after another, ended by an empty string.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pw {

class FileReader;

/// The largest file LineList::load reads. Inserted files are cover-sheet texts of a few pages; a
/// larger one is far more likely a mistake or an attack on the host's memory than a letter.
inline constexpr uint64_t kMaxInsertFileBytes = uint64_t{16} << 20;

/// Owns one heap block holding a line list. A list that load builds has no empty line (an empty
/// line of the file is stored as " "), so the first empty string marks its end.
class LineList {
 public:
  /// An empty list without a block.
  LineList() = default;
  /// A list of exactly one line, text, even when it contains line ends; null or "" gives an empty
  /// list, as does a failed allocation.
  explicit LineList(const char* text);
  ~LineList() { release(); }
  LineList(const LineList&) = delete;
  LineList& operator=(const LineList&) = delete;

  /// Frees the block, leaving an empty list.
  void release();
  /// Makes sure the block holds at least size bytes; a bigger one replaces it without keeping its
  /// contents. Returns false, with no block and last error kErrorNotEnoughMemory (8), when the heap
  /// cannot supply it.
  [[nodiscard]] bool allocate(std::size_t size);
  /// Replaces the list with the lines of the file at path: ANSI bytes, or UTF-16LE after an FF FE
  /// byte-order mark converted to the ANSI code page; CR LF, CR and LF all end a line; the text
  /// ends at the end of the file or its first NUL. Returns 1 on success, also for an empty file
  /// (last error 259) and for UTF-16 text that does not fit its conversion (empty list, last error
  /// 122). Returns 0 with an empty list and the cause from MappedFile::open (2, 3, 5, 32, ...),
  /// kErrorFileTooLarge (223) for a file of more than kMaxInsertFileBytes, or kErrorOutOfMemory
  /// (14).
  [[nodiscard]] int load(const char* path);
  /// Replaces the list with the lines of a text read from reader to its end, taken byte for byte
  /// (the reader's owner has decoded it): line ends and the first NUL as for a file. Returns 1 on
  /// success, also for an empty text; 0 with an empty list and the reader's cause, 223 for a text
  /// of more than kMaxInsertFileBytes, or 8 when out of memory.
  [[nodiscard]] int load(FileReader& reader);

  /// The first line, or a static "" when there is no block.
  [[nodiscard]] const char* firstLine() const;
  /// The block itself (null when there is none), for users that modify a one-line list in place.
  [[nodiscard]] char* lines() { return lines_; }

 private:
  char* lines_ = nullptr;
  std::size_t blockSize_ = 0;
};

/// The line after line in its list; a static "" for null or "". Past the last line it gives the
/// empty string that ends the list.
[[nodiscard]] const char* nextLine(const char* line);

}  // namespace pw
