#include "platform/errno_map.h"

#include <cerrno>

#include "platform/last_error.h"

namespace pw {

namespace {

struct ErrnoPair {
  int err;
  uint32_t code;
};

// The one table between the two. The first pair for an errno gives its code; the first pair for
// a code gives the errno whose text describes it. A missing directory on the way is ENOENT here and
// 3 there, as is a file used as a directory (ENOTDIR), which Windows also reports as 3.
constexpr ErrnoPair kPairs[] = {
    {ENOENT, kErrorFileNotFound},
    {ENOENT, kErrorPathNotFound},
    {ENOTDIR, kErrorPathNotFound},
    {ENOTDIR, kErrorDirectory},
    {EMFILE, kErrorTooManyOpenFiles},
    {ENFILE, kErrorTooManyOpenFiles},
    {EACCES, kErrorAccessDenied},
    {EPERM, kErrorAccessDenied},
    {EBADF, kErrorInvalidHandle},
    {ENOMEM, kErrorOutOfMemory},
    {ENOMEM, kErrorNotEnoughMemory},
    {EROFS, kErrorWriteProtect},
    {EIO, kErrorReadFault},
    {EIO, kErrorWriteFault},
    {EBUSY, kErrorBusy},
    {ETXTBSY, kErrorSharingViolation},
    {EAGAIN, kErrorLockViolation},
    {EOPNOTSUPP, kErrorNotSupported},
    {ENOSYS, kErrorNotSupported},
    {EEXIST, kErrorFileExists},
    {EEXIST, kErrorAlreadyExists},
    {EINVAL, kErrorInvalidParameter},
    {EPIPE, kErrorBrokenPipe},
    {ENOSPC, kErrorDiskFull},
    {EDQUOT, kErrorDiskFull},
    {ENAMETOOLONG, kErrorFilenameExcedRange},
    {EFBIG, kErrorFileTooLarge},
    {EISDIR, kErrorDirectoryNotSupported},
    {ENOTEMPTY, kErrorDirNotEmpty},
    {ELOOP, kErrorCantResolveFilename},
    {EILSEQ, kErrorNoUnicodeTranslation},
    {ESTALE, kErrorFileInvalid},
    {ECANCELED, kErrorOperationAborted},
};

}  // namespace

uint32_t win32FromErrno(int err) {
  for (const ErrnoPair& pair : kPairs) {
    if (pair.err == err) return pair.code;
  }
  return kErrorGenFailure;
}

int errnoFromWin32(uint32_t code) {
  for (const ErrnoPair& pair : kPairs) {
    if (pair.code == code) return pair.err;
  }
  return 0;
}

int failWithErrno() {
  return failWith(win32FromErrno(errno));
}

}  // namespace pw
