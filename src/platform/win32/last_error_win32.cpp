// The thread's last-error value is Windows' own; system texts come from FormatMessageA.
#include <windows.h>

#include "platform/last_error.h"

namespace pw {

uint32_t lastError() {
  return GetLastError();
}

void setLastError(uint32_t code) {
  SetLastError(code);
}

std::string systemErrorText(uint32_t code) {
  // Inserts are left on (no FORMAT_MESSAGE_IGNORE_INSERTS): the text is taken exactly as the
  // system gives it, its closing CR LF included.
  constexpr DWORD kFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM;
  static_assert(kFlags == 0x1100);
  char* buffer = nullptr;
  const DWORD length =
      FormatMessageA(kFlags, /*lpSource=*/nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<char*>(&buffer), /*nSize=*/0, /*Arguments=*/nullptr);
  std::string text;
  if (length > 0 && buffer) text.assign(buffer, length);
  if (buffer) LocalFree(buffer);
  return text;
}

}  // namespace pw
