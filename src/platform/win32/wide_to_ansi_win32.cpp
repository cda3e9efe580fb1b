#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform/wide_to_ansi.h"

namespace pw {

char* wideToAnsi(char* destination, std::size_t destinationSize, const char16_t* source,
                 std::size_t sourceUnits) {
  // With a size of 0 WideCharToMultiByte would only measure; nothing may be written.
  if (destinationSize == 0) return destination;
  std::size_t written = 0;  // bytes written, the NUL included; 0 on failure
  if (source) {
    std::size_t units = 0;
    while (units < sourceUnits && source[units] != 0) ++units;
    // The counted form writes no NUL, so its byte is kept free here; a source that is not
    // NUL-terminated is then never read past its end.
    const std::size_t textRoom = std::min<std::size_t>(destinationSize - 1, INT_MAX);
    int length = 0;
    bool converted = true;
    if (units > 0) {
      if (textRoom == 0 || units > INT_MAX) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        converted = false;
      } else {
        length = WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(source),
                                     static_cast<int>(units), destination,
                                     static_cast<int>(textRoom), nullptr, nullptr);
        converted = length > 0;
      }
    }
    if (converted) {
      destination[length] = '\0';
      written = static_cast<std::size_t>(length) + 1;
    }
  }
  destination[written < destinationSize ? written : destinationSize - 1] = '\0';
  return destination;
}

}  // namespace pw
