#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "converter/file_reader.h"
#include "platform/last_error.h"
#include "platform/posix/errno_map.h"

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
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      // A missing directory on the way is "path not found", as Windows reports it.
      const int err = errno;
      if (err == ENOENT && missingDirectory(path)) {
        failWith(kErrorPathNotFound);
      } else {
        failWith(win32FromErrno(err));
      }
      return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      failWith(kErrorAccessDenied);
      return nullptr;
    }
    return std::make_unique<PosixFileReader>(fd);
  }

 private:
  static bool missingDirectory(const char* path) {
    std::string dir(path);
    const std::size_t slash = dir.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return false;
    dir.erase(slash);
    struct stat st {};
    return ::stat(dir.c_str(), &st) != 0;
  }
};

}  // namespace

FileOpener& platformFiles() {
  static PosixFileOpener opener;
  return opener;
}

}  // namespace pw
