#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <limits>

#include "platform/errno_map.h"
#include "platform/last_error.h"
#include "platform/mapped_file.h"
#include "platform/posix/open_for_reading.h"

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
  if (errno == EAGAIN) return fail(kErrorSharingViolation);
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

// Nothing stops another process from truncating the file while it is in use, and a mapping
// would then raise SIGBUS on the pages cut off. The contents are read into private, page-aligned
// memory instead; a file that shrinks during the read yields what it still held. Returns 0 or the
// Win32 cause; *view and *size describe the memory to release either way.
uint32_t copyContents(int fd, uint64_t fileSize, uint64_t maxSize, const unsigned char** view,
                      std::size_t* size) {
  // An empty file has no contents to view; callers tell it from real failures by this code.
  if (fileSize == 0) return kErrorNoMoreItems;
  if (fileSize > maxSize) return kErrorFileTooLarge;
  if (fileSize > std::numeric_limits<std::size_t>::max()) return kErrorNotEnoughMemory;
  const auto capacity = static_cast<std::size_t>(fileSize);
  void* memory =
      mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) return kErrorNotEnoughMemory;
  *view = static_cast<const unsigned char*>(memory);
  *size = capacity;
  auto* bytes = static_cast<unsigned char*>(memory);
  std::size_t got = 0;
  while (got < capacity) {
    const ssize_t n = ::read(fd, bytes + got, capacity - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return win32FromErrno(errno);
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got == 0) return kErrorNoMoreItems;
  // Whole pages past what was read go back now; munmap of the view rounds its length up to the
  // page that holds the last byte.
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t kept = (got + page - 1) / page * page;
  if (kept < capacity) munmap(bytes + kept, capacity - kept);
  *size = got;
  mprotect(memory, got, PROT_READ);
  return kErrorSuccess;
}

}  // namespace

const unsigned char* MappedFile::open(const char* path, uint64_t maxSize) {
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
  std::size_t size = 0;
  const uint32_t code =
      copyContents(fd, static_cast<uint64_t>(status.st_size), maxSize, &view_, &size);
  if (leaseHeld) releaseLease(fd);
  viewSize_ = size;
  if (code != kErrorSuccess) {
    failWith(code);
    close();
    return nullptr;
  }
  return view_;
}

uint32_t MappedFile::size() const {
  if (file_ == kNoFile) return 0;
  // The length read, not a fresh fstat: without mandatory sharing a writer may grow or shrink
  // the file after the read, and a size beyond the view would lead readers past it.
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
