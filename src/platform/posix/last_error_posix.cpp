#include <cstring>

#include "platform/errno_map.h"
#include "platform/last_error.h"

namespace pw {

namespace {
thread_local uint32_t threadLastError = 0;
}  // namespace

uint32_t lastError() {
  return threadLastError;
}

void setLastError(uint32_t code) {
  threadLastError = code;
}

std::string systemErrorText(uint32_t code) {
  const int err = errnoFromWin32(code);
  if (err == 0) return {};
  char buffer[256];
  // GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(err, buffer, sizeof buffer);
  return text ? std::string(text) : std::string();
}

}  // namespace pw
