// UTF-16 text converted to the ANSI code page (Windows-1252 where the system has none).
#pragma once

#include <cstddef>
#include <string>

namespace pw {

/// Converts at most sourceUnits UTF-16LE units of source, stopping early at a unit 0, into the ANSI
/// code page; characters the code page lacks become '?'. The result is always NUL-terminated
/// (unless destinationSize is 0, when nothing is written): with n the bytes written including the
/// NUL, or 0 on failure, a NUL goes to index n when n < destinationSize, else to the last byte.
/// A source that needs more than destinationSize bytes with its NUL leaves "" and last error
/// kErrorInsufficientBuffer (122). A null source gives "". Returns destination.
char* wideToAnsi(char* destination, std::size_t destinationSize, const char16_t* source,
                 std::size_t sourceUnits);

/// The same for a NUL-terminated source.
inline char* wideToAnsi(char* destination, std::size_t destinationSize, const char16_t* source) {
  const std::size_t units = source ? std::char_traits<char16_t>::length(source) : 0;
  return wideToAnsi(destination, destinationSize, source, units);
}

}  // namespace pw
