#include "raster/output/temp_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "platform/errno_map.h"
#include "platform/last_error.h"

namespace pw {

namespace {

constexpr int kCreateAttempts = 100;

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash + 1);
}

std::string baseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

TempOutput::TempOutput(TempOutput&& other) noexcept
    : finalPath_(std::move(other.finalPath_)),
      tempPath_(std::move(other.tempPath_)),
      fd_(other.fd_) {
  other.fd_ = -1;
  other.tempPath_.clear();
}

bool TempOutput::create() {
  discard();
  struct stat status {};
  if (finalPath_.empty()) return failWith(kErrorInvalidName);
  if (stat(finalPath_.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    return failWith(kErrorAccessDenied);
  }
  // A hidden name in the same directory, so that the final rename stays on one file system.
  static std::atomic<unsigned> counter{0};
  const std::string prefix = directoryOf(finalPath_) + "." + baseOf(finalPath_) + ".";
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string candidate =
        prefix + std::to_string(getpid()) + "-" + std::to_string(counter.fetch_add(1)) + ".part";
    const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      tempPath_ = candidate;
      return true;
    }
    if (errno == EEXIST) continue;
    // Creating a file fails with ENOENT only when a directory on its path is missing.
    if (errno == ENOENT) return failWith(kErrorPathNotFound);
    return failWithErrno();
  }
  return failWith(kErrorFileExists);
}

bool TempOutput::commit() {
  if (fd_ >= 0 && close(releaseFd()) != 0) {
    const int err = errno;
    discard();
    return failWith(win32FromErrno(err));
  }
  if (tempPath_.empty()) return failWith(kErrorInvalidHandle);
  if (std::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) {
    const int err = errno;
    discard();
    return failWith(win32FromErrno(err));
  }
  tempPath_.clear();
  return true;
}

void TempOutput::discard() {
  LastErrorKeeper keep;
  if (fd_ >= 0) close(releaseFd());
  if (!tempPath_.empty()) {
    unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

int TempOutput::releaseFd() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

}  // namespace pw
