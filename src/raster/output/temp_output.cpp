#include "raster/output/temp_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "platform/errno_map.h"
#include "platform/last_error.h"

namespace pw {

namespace {

constexpr int kCreateAttempts = 100;
constexpr int kMaxLinkHops = 40;  // as the kernel's own limit, after which it reports ELOOP
constexpr size_t kCopyBlock = 64 * 1024;

// Every temporary output of the process. Never destroyed, so that a signal-handling thread may
// still use it while the process exits.
struct Registry {
  std::recursive_mutex mutex;
  std::set<std::string> paths;
  bool abandoned = false;
};

Registry& registry() {
  static Registry* const instance = new Registry;
  return *instance;
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash + 1);
}

std::string baseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string temporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  if (path.back() != '/') path += '/';
  return path;
}

// A hidden name beside the target that stays within NAME_MAX however long the target's name.
std::string tempName(std::string base, unsigned number) {
  const std::string suffix =
      "." + std::to_string(getpid()) + "-" + std::to_string(number) + ".part";
  const size_t room = NAME_MAX - 1 - suffix.size();
  if (base.size() > room) {
    base.resize(room);
    // Cut before a UTF-8 sequence rather than inside it.
    while (!base.empty() && (static_cast<unsigned char>(base.back()) & 0xC0) == 0x80) {
      base.pop_back();
    }
    if (!base.empty() && static_cast<unsigned char>(base.back()) >= 0xC0) base.pop_back();
  }
  return "." + base + suffix;
}

enum class Kind { kAbsent, kRegular, kDirectory, kSpecial };

struct Target {
  std::string path;  // symbolic links followed
  Kind kind = Kind::kAbsent;
  struct stat status {};
};

// Follows symbolic links from path to the file they lead to, which need not exist. False with
// errno set when the path cannot be looked up.
bool resolveTarget(const std::string& path, Target* target) {
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat status {};
    if (lstat(current.c_str(), &status) != 0) {
      if (errno != ENOENT) return false;
      *target = {current, Kind::kAbsent, {}};
      return true;
    }
    if (!S_ISLNK(status.st_mode)) {
      const Kind kind = S_ISREG(status.st_mode)   ? Kind::kRegular
                        : S_ISDIR(status.st_mode) ? Kind::kDirectory
                                                  : Kind::kSpecial;
      *target = {current, kind, status};
      return true;
    }
    std::vector<char> link(PATH_MAX);
    const ssize_t length = readlink(current.c_str(), link.data(), link.size());
    if (length < 0) return false;
    if (static_cast<size_t>(length) == link.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string next(link.data(), static_cast<size_t>(length));
    current = next.front() == '/' ? next : directoryOf(current) + next;
  }
  errno = ELOOP;
  return false;
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t put = write(fd, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      if (put == 0) errno = ENOSPC;
      return false;
    }
    data += put;
    size -= static_cast<size_t>(put);
  }
  return true;
}

// Copies the whole file behind from (read by offset) to to at its position; errno on failure.
bool copyFile(int from, int to) {
  std::vector<char> block(kCopyBlock);
  for (off_t offset = 0;;) {
    const ssize_t got = pread(from, block.data(), block.size(), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    if (!writeAll(to, block.data(), static_cast<size_t>(got))) return false;
    offset += got;
  }
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
  if (finalPath_.empty()) return failWith(kErrorInvalidName);
  Target target;
  if (!resolveTarget(finalPath_, &target)) return failWithErrno();
  if (target.kind == Kind::kDirectory) return failWith(kErrorAccessDenied);
  // The new document is as private as the one it replaces from its first byte on.
  const mode_t mode = target.kind == Kind::kRegular ? (target.status.st_mode & 0666) : 0666;
  const std::string prefix =
      target.kind == Kind::kSpecial ? temporaryDirectory() : directoryOf(target.path);
  const std::string base = baseOf(target.path);

  static unsigned counter = 0;
  Registry& temps = registry();
  std::lock_guard lock(temps.mutex);
  if (temps.abandoned) return failWith(kErrorOperationAborted);
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    const std::string candidate = prefix + tempName(base, counter++);
    const int fd = open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      fd_ = fd;
      tempPath_ = candidate;
      temps.paths.insert(candidate);
      return true;
    }
    if (errno == EEXIST) continue;
    // Creating a file fails with ENOENT only when a directory on its path is missing.
    if (errno == ENOENT) return failWith(kErrorPathNotFound);
    return failWithErrno();
  }
  return failWith(kErrorFileExists);
}

bool TempOutput::commitAs(const std::string& finalPath) {
  if (fd_ < 0 || tempPath_.empty()) return failWith(kErrorInvalidHandle);
  Target target;
  if (!resolveTarget(finalPath, &target)) {
    const int err = errno;
    discard();
    return failWith(win32FromErrno(err));
  }
  if (target.kind == Kind::kDirectory) {
    discard();
    return failWith(kErrorAccessDenied);
  }
  if (target.kind == Kind::kSpecial) {
    // Devices and FIFOs are written into, never replaced; opening a FIFO waits for its reader.
    const int out = open(target.path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (out < 0) {
      const int err = errno;
      discard();
      return failWith(win32FromErrno(err));
    }
    const bool copied = copyTo(out);
    if (close(out) != 0 && copied) return failWithErrno();
    return copied;
  }

  struct stat temp {};
  struct stat directory {};
  if (fstat(fd_, &temp) == 0 && stat((directoryOf(target.path) + ".").c_str(), &directory) == 0 &&
      temp.st_dev != directory.st_dev) {
    // The temporary file is on another file system (the target changed since it was created):
    // copy it beside the target first, so that the final step is still a rename.
    TempOutput beside(target.path);
    if (!beside.create()) {
      discard();
      return false;
    }
    if (!copyFile(fd_, beside.fd())) {
      const int err = errno;
      discard();
      return failWith(win32FromErrno(err));
    }
    discard();
    return beside.commitAs(target.path);
  }

  if (target.kind == Kind::kRegular) {
    // Where the process may not give the file away, it stays the caller's own.
    if (fchown(fd_, target.status.st_uid, target.status.st_gid) != 0) {
      (void)fchown(fd_, static_cast<uid_t>(-1), target.status.st_gid);
    }
    (void)fchmod(fd_, target.status.st_mode & 07777);
  }
  const int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    const int err = errno;
    discard();
    return failWith(win32FromErrno(err));
  }
  Registry& temps = registry();
  std::lock_guard lock(temps.mutex);
  if (temps.abandoned) {
    tempPath_.clear();  // already removed
    return failWith(kErrorOperationAborted);
  }
  if (std::rename(tempPath_.c_str(), target.path.c_str()) != 0) {
    const int err = errno;
    discard();
    return failWith(win32FromErrno(err));
  }
  temps.paths.erase(tempPath_);
  tempPath_.clear();
  return true;
}

bool TempOutput::copyTo(int fd) {
  if (fd_ < 0) return failWith(kErrorInvalidHandle);
  if (!copyFile(fd_, fd)) {
    const int err = errno;
    discard();
    return failWith(win32FromErrno(err));
  }
  discard();
  return true;
}

bool TempOutput::append(const void* data, size_t size) {
  if (fd_ < 0) return failWith(kErrorInvalidHandle);
  if (!writeAll(fd_, static_cast<const char*>(data), size)) return failWithErrno();
  return true;
}

void TempOutput::discard() {
  LastErrorKeeper keep;
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
  if (!tempPath_.empty()) {
    Registry& temps = registry();
    std::lock_guard lock(temps.mutex);
    if (temps.paths.erase(tempPath_) != 0) unlink(tempPath_.c_str());
    tempPath_.clear();
  }
}

void abandonAllTempOutputs() {
  Registry& temps = registry();
  std::lock_guard lock(temps.mutex);
  temps.abandoned = true;
  for (const std::string& path : temps.paths) unlink(path.c_str());
  temps.paths.clear();
}

std::unique_lock<std::recursive_mutex> lockTempOutputs() {
  return std::unique_lock(registry().mutex);
}

}  // namespace pw
