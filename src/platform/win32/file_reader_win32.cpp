// The text file through CreateFileA and ReadFile: read sharing only, like the mapped files.
#include <windows.h>

#include <new>

#include "platform/file_reader.h"
#include "platform/last_error.h"

namespace pw {

namespace {

class Win32FileReader final : public FileReader {
 public:
  explicit Win32FileReader(HANDLE file) : file_(file) {}
  ~Win32FileReader() override {
    LastErrorKeeper keep;
    CloseHandle(file_);
  }
  Win32FileReader(const Win32FileReader&) = delete;
  Win32FileReader& operator=(const Win32FileReader&) = delete;

  bool read(void* buffer, uint32_t size, uint32_t* got) override {
    DWORD read = 0;
    const BOOL ok = ReadFile(file_, buffer, size, &read, /*lpOverlapped=*/nullptr);
    *got = ok ? read : 0;
    return ok != FALSE;
  }

 private:
  HANDLE file_;
};

class Win32FileOpener final : public FileOpener {
 public:
  std::unique_ptr<FileReader> openForReading(const char* path) override {
    const HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, /*security=*/nullptr, OPEN_EXISTING,
                    /*dwFlagsAndAttributes=*/0, /*template=*/nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    std::unique_ptr<FileReader> reader(new (std::nothrow) Win32FileReader(file));
    if (!reader) {
      CloseHandle(file);
      failWith(kErrorNotEnoughMemory);
    }
    return reader;
  }
};

}  // namespace

FileOpener& platformFiles() {
  static Win32FileOpener opener;
  return opener;
}

}  // namespace pw
