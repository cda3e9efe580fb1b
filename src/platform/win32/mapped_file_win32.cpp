#include <windows.h>

#include "platform/last_error.h"
#include "platform/mapped_file.h"

namespace pw {

namespace {

HANDLE asHandle(intptr_t file) {
  return reinterpret_cast<HANDLE>(file);
}

// CloseHandle must not disturb the cause a caller is about to read.
void closeKeepingError(HANDLE handle) {
  const DWORD saved = GetLastError();
  CloseHandle(handle);
  SetLastError(saved);
}

}  // namespace

const unsigned char* MappedFile::open(const char* path, uint64_t maxSize) {
  close();
  // Read sharing only: a writer holding the file makes this fail with ERROR_SHARING_VIOLATION.
  const HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  /*dwFlagsAndAttributes=*/0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  file_ = reinterpret_cast<intptr_t>(file);
  LARGE_INTEGER fileSize{};
  if (GetFileSizeEx(file, &fileSize) && static_cast<uint64_t>(fileSize.QuadPart) > maxSize) {
    SetLastError(ERROR_FILE_TOO_LARGE);
    close();
    return nullptr;
  }

  mapping_ = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping_) {
    // An empty file cannot be mapped; callers tell it from real failures by this code.
    if (GetLastError() == ERROR_FILE_INVALID) SetLastError(ERROR_NO_MORE_ITEMS);
    close();
    return nullptr;
  }
  view_ = static_cast<const unsigned char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 0));
  if (!view_) {
    close();
    return nullptr;
  }
  // No writer can change the size while the file is open with read sharing only.
  viewSize_ = GetFileSize(file, nullptr);
  return view_;
}

uint32_t MappedFile::size() const {
  if (file_ == kNoFile) return 0;
  const DWORD low = GetFileSize(asHandle(file_), nullptr);
  return low == INVALID_FILE_SIZE ? 0 : low;
}

int MappedFile::close() {
  LastErrorKeeper keeper;
  if (view_) {
    UnmapViewOfFile(view_);
    view_ = nullptr;
    viewSize_ = 0;
  }
  if (mapping_) {
    closeKeepingError(mapping_);
    mapping_ = nullptr;
  }
  if (file_ != kNoFile) {
    closeKeepingError(asHandle(file_));
    file_ = kNoFile;
  }
  return 0;
}

}  // namespace pw
