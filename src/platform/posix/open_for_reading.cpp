#include "platform/posix/open_for_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/errno_map.h"
#include "platform/last_error.h"

namespace pw {

namespace {

bool directoryMissing(const char* path) {
  std::string dir(path);
  const std::size_t slash = dir.find_last_of('/');
  if (slash == std::string::npos || slash == 0) return false;
  dir.erase(slash);
  struct stat status {};
  return ::stat(dir.c_str(), &status) != 0;
}

}  // namespace

int openForReading(const char* path, int extraFlags) {
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC | extraFlags);
  if (fd < 0) {
    const int err = errno;
    if (err == EWOULDBLOCK && (extraFlags & O_NONBLOCK)) {
      failWith(kErrorSharingViolation);
    } else if (err == ENOENT && directoryMissing(path)) {
      failWith(kErrorPathNotFound);
    } else {
      failWith(win32FromErrno(err));
    }
    return -1;
  }
  struct stat status {};
  if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
    // A directory opens here, but is no file to read.
    const uint32_t code =
        S_ISDIR(status.st_mode) ? kErrorDirectoryNotSupported : win32FromErrno(errno);
    ::close(fd);
    failWith(code);
    return -1;
  }
  return fd;
}

}  // namespace pw
