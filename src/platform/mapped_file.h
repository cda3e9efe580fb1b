// A whole file mapped read-only into memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pw {

/// A read-only view of a whole file. The file is opened for reading with read sharing only: other
/// readers are welcome, a writer holding the file open makes open fail. Closed on destruction.
/// Where sharing cannot keep writers out (POSIX), the contents are copied into private memory
/// instead of mapped, so that a file truncated by someone else cannot fault its reader.
class MappedFile {
 public:
  /// No limit on the size of the file.
  static constexpr uint64_t kNoSizeLimit = UINT64_MAX;

  MappedFile() = default;
  ~MappedFile() { close(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  /// Opens and maps the file at path (closing any file mapped before). Returns the first byte of
  /// its contents, or null with the last-error value set: the platform's cause (2 file not found,
  /// 3 path not found, 5 access denied, also for a directory on Windows, 336 for one on POSIX),
  /// 32 (sharing violation) when the file is open for writing, 259 (no more items) for an empty
  /// file, 223 (file too large) for one of more than maxSize bytes.
  [[nodiscard]] const unsigned char* open(const char* path, uint64_t maxSize = kNoSizeLimit);
  /// The low 32 bits of the mapped file's size; 0 when none is open, and for 0xFFFFFFFF.
  [[nodiscard]] uint32_t size() const;
  /// Unmaps and closes the file; a second call finds nothing to release. Never changes the
  /// last-error value; returns 0.
  int close();
  /// The mapped contents, or null.
  [[nodiscard]] const unsigned char* view() const { return view_; }

 private:
  static constexpr intptr_t kNoFile = -1;

  // A file descriptor on POSIX, a HANDLE on Windows; -1 means none on both (INVALID_HANDLE_VALUE).
  intptr_t file_ = kNoFile;
  // The file-mapping HANDLE on Windows; POSIX maps without one.
  [[maybe_unused]] void* mapping_ = nullptr;
  const unsigned char* view_ = nullptr;
  // The size of the view, taken when it was mapped.
  std::size_t viewSize_ = 0;
};

}  // namespace pw
