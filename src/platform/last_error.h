// The calling thread's last-error value. It holds Win32 error codes on every platform, so that
// hosts see the same causes wherever the module runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace pw {

// The Win32 codes the module produces itself or maps platform errors onto.
inline constexpr uint32_t kErrorSuccess = 0;
inline constexpr uint32_t kErrorInvalidFunction = 1;
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorPathNotFound = 3;
inline constexpr uint32_t kErrorTooManyOpenFiles = 4;
inline constexpr uint32_t kErrorAccessDenied = 5;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorNotEnoughMemory = 8;
inline constexpr uint32_t kErrorBadFormat = 11;
inline constexpr uint32_t kErrorInvalidData = 13;
inline constexpr uint32_t kErrorOutOfMemory = 14;
inline constexpr uint32_t kErrorWriteProtect = 19;
inline constexpr uint32_t kErrorNotReady = 21;
inline constexpr uint32_t kErrorWriteFault = 29;
inline constexpr uint32_t kErrorReadFault = 30;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorLockViolation = 33;
inline constexpr uint32_t kErrorHandleEof = 38;
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorFileExists = 80;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorBrokenPipe = 109;
inline constexpr uint32_t kErrorDiskFull = 112;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorInvalidName = 123;
inline constexpr uint32_t kErrorDirNotEmpty = 145;
inline constexpr uint32_t kErrorBusy = 170;
inline constexpr uint32_t kErrorAlreadyExists = 183;
inline constexpr uint32_t kErrorFilenameExcedRange = 206;
inline constexpr uint32_t kErrorBadFileType = 222;
inline constexpr uint32_t kErrorFileTooLarge = 223;
inline constexpr uint32_t kErrorNoMoreItems = 259;
inline constexpr uint32_t kErrorDirectory = 267;
inline constexpr uint32_t kErrorDirectoryNotSupported = 336;
inline constexpr uint32_t kErrorOperationAborted = 995;
inline constexpr uint32_t kErrorFileInvalid = 1006;
inline constexpr uint32_t kErrorNoUnicodeTranslation = 1113;
inline constexpr uint32_t kErrorInvalidPixelFormat = 2000;
inline constexpr uint32_t kErrorCantResolveFilename = 1921;

// An image beyond the decoding limits. Windows hosts are promised 8 (not enough memory); elsewhere
// the module has a code of its own (bit 29 marks application codes), whose text names the limits.
#ifdef _WIN32
inline constexpr uint32_t kErrorImageTooLarge = kErrorNotEnoughMemory;
#else
inline constexpr uint32_t kErrorImageTooLarge = 0x20000001;
#endif

uint32_t lastError();
void setLastError(uint32_t code);

// The failure idiom: a failing operation sets the last-error value and returns what says
// "failed" in its own result type, in one statement: `return fail(kErrorAccessDenied);`.

/// Sets the last-error value to code and returns 0, for operations with a 1/0 result.
inline int failWith(uint32_t code) {
  setLastError(code);
  return 0;
}

/// Sets the last-error value to code and returns false.
[[nodiscard]] inline bool fail(uint32_t code) {
  setLastError(code);
  return false;
}

/// Sets the last-error value to code and returns a null pointer.
[[nodiscard]] inline std::nullptr_t failNull(uint32_t code) {
  setLastError(code);
  return nullptr;
}

/// Keeps the caller's last-error value across clean-up code.
class LastErrorKeeper {
 public:
  LastErrorKeeper() : saved_(lastError()) {}
  ~LastErrorKeeper() { setLastError(saved_); }
  LastErrorKeeper(const LastErrorKeeper&) = delete;
  LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

 private:
  uint32_t saved_;
};

/// The platform's own text for an error code (on POSIX the text of its errno, or the module's
/// own for codes without one), or an empty string when it has none.
std::string systemErrorText(uint32_t code);

}  // namespace pw
