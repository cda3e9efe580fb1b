#include <cstring>

#include "platform/errno_map.h"
#include "platform/last_error.h"

namespace pw {

namespace {

thread_local uint32_t threadLastError = 0;

struct CodeText {
  uint32_t code;
  const char* text;
};

// Texts for the codes that no errno describes.
constexpr CodeText kOwnTexts[] = {
    {kErrorInvalidFunction, "Incorrect function"},
    {kErrorBadFormat, "Unknown or damaged file format"},
    {kErrorInvalidData, "Invalid or damaged data"},
    {kErrorGenFailure, "System error"},
    {kErrorHandleEof, "Reached the end of the file"},
    {kErrorInsufficientBuffer, "Buffer too small"},
    {kErrorInvalidName, "Invalid file name"},
    {kErrorBadFileType, "Not a regular file"},
    {kErrorNoMoreItems, "No more data"},
    {kErrorFileInvalid, "The file changed while it was read"},
    {kErrorInvalidPixelFormat, "Unsupported pixel format"},
    {kErrorImageTooLarge, "Image beyond the limits of 64 megapixels and 256 MiB decoded"},
};

}  // namespace

uint32_t lastError() {
  return threadLastError;
}

void setLastError(uint32_t code) {
  threadLastError = code;
}

std::string systemErrorText(uint32_t code) {
  for (const CodeText& own : kOwnTexts) {
    if (own.code == code) return own.text;
  }
  const int err = errnoFromWin32(code);
  if (err == 0) return {};
  char buffer[256];
  // GNU strerror_r may return a static text instead of filling the buffer.
  const char* text = strerror_r(err, buffer, sizeof buffer);
  return text ? std::string(text) : std::string();
}

}  // namespace pw
