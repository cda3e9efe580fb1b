// Small text scanners shared by the markup handlers.
#pragma once

#include <cstdint>

namespace pw {

inline bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

/// The first character that is NUL or above 32.
inline const char* skipBlanks(const char* text) {
  while (*text != '\0' && static_cast<unsigned char>(*text) <= 32) ++text;
  return text;
}

/// The value of the decimal digits at the start of text, after blanks; 0 without digits or for
/// null. Wraps modulo 2^32 rather than saturating.
inline uint32_t parseDecimal(const char* text) {
  if (!text) return 0;
  uint32_t value = 0;
  for (const char* p = skipBlanks(text); isDigit(*p); ++p) {
    value = value * 10 + static_cast<uint32_t>(*p - '0');
  }
  return value;
}

}  // namespace pw
