#include "platform/errno_map.h"

#include <cerrno>

#include "platform/last_error.h"

namespace pw {

namespace {

struct ErrnoPair {
  int err;
  uint32_t code;
};

// The first pair for a code also gives the errno whose text describes it.
constexpr ErrnoPair kPairs[] = {
    {ENOENT, kErrorFileNotFound},
    {ENOTDIR, kErrorPathNotFound},
    {EMFILE, kErrorTooManyOpenFiles},
    {ENFILE, kErrorTooManyOpenFiles},
    {EACCES, kErrorAccessDenied},
    {EPERM, kErrorAccessDenied},
    {EBADF, kErrorInvalidHandle},
    {ENOMEM, kErrorOutOfMemory},
    {EROFS, kErrorWriteProtect},
    {EIO, kErrorReadFault},
    {EBUSY, kErrorBusy},
    {ETXTBSY, kErrorSharingViolation},
    {EAGAIN, kErrorLockViolation},
    {ENOSYS, kErrorNotSupported},
    {EOPNOTSUPP, kErrorNotSupported},
    {EEXIST, kErrorFileExists},
    {EINVAL, kErrorInvalidParameter},
    {EPIPE, kErrorBrokenPipe},
    {ENOSPC, kErrorDiskFull},
    {EDQUOT, kErrorDiskFull},
    {ENAMETOOLONG, kErrorFilenameExcedRange},
    {EFBIG, kErrorFileTooLarge},
    {EISDIR, kErrorDirectory},
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
