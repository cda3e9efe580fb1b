#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errno_map.h"
#include "platform/file_reader.h"
#include "platform/last_error.h"
#include "platform/posix/open_for_reading.h"

namespace pw {

namespace {

// On Windows a file being read cannot be deleted or truncated; here it can, and reading then just
// ends early (truncated) or goes on from a file that no longer exists (deleted). Either way the
// text is no longer the one the host handed over, so the reader reports it as a failure.
class PosixFileReader final : public FileReader {
 public:
  explicit PosixFileReader(int fd) : fd_(fd) {
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
      watched_ = true;
      expectedSize_ = static_cast<uint64_t>(status.st_size);
    }
  }
  ~PosixFileReader() override {
    LastErrorKeeper keep;
    ::close(fd_);
  }

  bool read(void* buffer, uint32_t size, uint32_t* got) override {
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) {
        *got = static_cast<uint32_t>(n);
        position_ += static_cast<uint64_t>(n);
        return !watched_ || stillIntact(n == 0);
      }
      if (errno != EINTR) {
        *got = 0;
        return failWithErrno() != 0;
      }
    }
  }

 private:
  // False with ERROR_FILE_INVALID ("the opened file is no longer valid") once the file has been
  // removed, or when it ends before the size it had when opened. Growth is fine: the text simply
  // ends where the read stops.
  bool stillIntact(bool atEnd) {
    struct stat status {};
    if (::fstat(fd_, &status) != 0) return failWithErrno() != 0;
    if (status.st_nlink == 0 || (atEnd && position_ < expectedSize_)) {
      return fail(kErrorFileInvalid);
    }
    return true;
  }

  int fd_;
  bool watched_ = false;
  uint64_t expectedSize_ = 0;
  uint64_t position_ = 0;
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
