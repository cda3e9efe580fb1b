#include <unistd.h>

#include <cerrno>

#include "converter/file_reader.h"
#include "platform/last_error.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/open_for_reading.h"

namespace pw {

namespace {

class PosixFileReader final : public FileReader {
 public:
  explicit PosixFileReader(int fd) : fd_(fd) {}
  ~PosixFileReader() override {
    LastErrorKeeper keep;
    ::close(fd_);
  }

  bool read(void* buffer, uint32_t size, uint32_t* got) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) {
        *got = static_cast<uint32_t>(n);
        return true;
      }
      if (errno != EINTR) {
        *got = 0;
        return failWithErrno() != 0;
      }
    }
  }

 private:
  int fd_;
};

class PosixFileOpener final : public FileOpener {
 public:
  std::unique_ptr<FileReader> openForReading(const char* path) override {
    const int fd = pw::openForReading(path);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFileReader>(fd);
  }
};

}  // namespace

FileOpener& platformFiles() {
  static PosixFileOpener opener;
  return opener;
}

}  // namespace pw
