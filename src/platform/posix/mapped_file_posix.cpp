#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <limits>

#include "platform/last_error.h"
#include "platform/posix/errno_map.h"
#include "platform/posix/open_for_reading.h"
#include "support/mapped_file.h"

namespace pw {

namespace {

// Linux has no mandatory share modes. A read lease can only be taken while nobody has the file
// open for writing, which is exactly the writer check of a read-only share mode, so one is taken
// for the moment of opening. It needs a file of one's own or CAP_LEASE; where leases are refused
// for any other reason the file is opened without the check.
// Returns false with the last-error value set when a writer holds the file.
bool takeReadLease(int fd, bool* held) {
  *held = false;
#if defined(F_SETLEASE)
  // A writer opening the file while the lease is held breaks it with a signal to this process;
  // SIGIO would end the host, SIGURG is ignored unless someone asked for it.
  fcntl(fd, F_SETSIG, SIGURG);
  if (fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
    *held = true;
    return true;
  }
  if (errno == EAGAIN) return failWith(kErrorSharingViolation) != 0;
#else
  (void)fd;
#endif
  return true;
}

void releaseLease(int fd) {
#if defined(F_SETLEASE)
  fcntl(fd, F_SETLEASE, F_UNLCK);
#else
  (void)fd;
#endif
}

}  // namespace

const unsigned char* MappedFile::open(const char* path) {
  close();
  // O_NONBLOCK: a FIFO cannot stall the open, and a write lease held elsewhere fails the open
  // instead of waiting for it to be broken.
  const int fd = openForReading(path, O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return nullptr;
  file_ = fd;

  struct stat status;
  if (fstat(fd, &status) != 0) {
    failWithErrno();
    close();
    return nullptr;
  }

  bool leaseHeld = false;
  if (!takeReadLease(fd, &leaseHeld)) {
    close();
    return nullptr;
  }

  const auto fileSize = static_cast<unsigned long long>(status.st_size);
  if (fileSize == 0) {
    // An empty file cannot be mapped; callers tell it from real failures by this code.
    if (leaseHeld) releaseLease(fd);
    failWith(kErrorNoMoreItems);
    close();
    return nullptr;
  }
  if (fileSize > std::numeric_limits<std::size_t>::max()) {
    if (leaseHeld) releaseLease(fd);
    failWith(kErrorNotEnoughMemory);
    close();
    return nullptr;
  }

  void* view = mmap(nullptr, static_cast<std::size_t>(fileSize), PROT_READ, MAP_PRIVATE, fd, 0);
  const int mapErrno = errno;
  if (leaseHeld) releaseLease(fd);
  if (view == MAP_FAILED) {
    failWith(win32FromErrno(mapErrno));
    close();
    return nullptr;
  }
  view_ = static_cast<const unsigned char*>(view);
  viewSize_ = static_cast<std::size_t>(fileSize);
  return view_;
}

uint32_t MappedFile::size() const {
  if (file_ == kNoFile) return 0;
  // The mapped length, not a fresh fstat: without mandatory sharing a writer may grow the file
  // after the check, and a size beyond the view would lead readers past it.
  const auto low = static_cast<uint32_t>(viewSize_);
  return low == 0xFFFFFFFFu ? 0 : low;
}

int MappedFile::close() {
  LastErrorKeeper keeper;
  if (view_) {
    munmap(const_cast<unsigned char*>(view_), viewSize_);
    view_ = nullptr;
    viewSize_ = 0;
  }
  if (file_ != kNoFile) {
    ::close(static_cast<int>(file_));
    file_ = kNoFile;
  }
  return 0;
}

}  // namespace pw
