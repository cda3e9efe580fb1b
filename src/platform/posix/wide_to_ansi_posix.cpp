#include <iconv.h>

#include <cerrno>

#include "platform/errno_map.h"
#include "platform/last_error.h"
#include "platform/wide_to_ansi.h"

namespace pw {

namespace {

// Windows-1252 stands in for the ANSI code page; '?' is its default character.
constexpr char kAnsiCodePage[] = "WINDOWS-1252";
constexpr char kDefaultChar = '?';

bool isHighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The five bytes Windows-1252 leaves undefined stand for the C1 controls of the same value on
// Windows; iconv knows no mapping for them.
bool isUnassignedIn1252(char16_t unit) {
  return unit == 0x81 || unit == 0x8D || unit == 0x8F || unit == 0x90 || unit == 0x9D;
}

class Converter {
 public:
  Converter() : cd_(iconv_open(kAnsiCodePage, "UTF-16LE")) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts units into out[0, room); returns the number of bytes written, or -1 with the
  // last-error value set. Units that the code page lacks become the default character, one per
  // character (a surrogate pair is one character).
  long convert(const char16_t* units, std::size_t count, char* out, std::size_t room) {
    char* in = const_cast<char*>(reinterpret_cast<const char*>(units));
    std::size_t inLeft = count * sizeof(char16_t);
    char* next = out;
    std::size_t outLeft = room;
    while (inLeft > 0) {
      if (iconv(cd_, &in, &inLeft, &next, &outLeft) != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) return failed(kErrorInsufficientBuffer);
      if (errno != EILSEQ && errno != EINVAL) return failed(win32FromErrno(errno));
      // An unconvertible character, or a surrogate cut off at the end of the text.
      if (outLeft == 0) return failed(kErrorInsufficientBuffer);
      const char16_t* at = reinterpret_cast<const char16_t*>(in);
      const std::size_t unitsLeft = inLeft / sizeof(char16_t);
      std::size_t skipped = 1;
      if (unitsLeft >= 2 && isHighSurrogate(at[0]) && isLowSurrogate(at[1])) skipped = 2;
      *next++ = isUnassignedIn1252(at[0]) ? static_cast<char>(at[0]) : kDefaultChar;
      --outLeft;
      in += skipped * sizeof(char16_t);
      inLeft -= skipped * sizeof(char16_t);
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return static_cast<long>(next - out);
  }

 private:
  static long failed(uint32_t code) {
    setLastError(code);
    return -1;
  }

  iconv_t cd_;
};

}  // namespace

char* wideToAnsi(char* destination, std::size_t destinationSize, const char16_t* source,
                 std::size_t sourceUnits) {
  // Nothing may be written, not even a NUL.
  if (destinationSize == 0) return destination;
  std::size_t written = 0;  // bytes written, the NUL included; 0 on failure
  if (source) {
    std::size_t units = 0;
    while (units < sourceUnits && source[units] != 0) ++units;
    Converter converter;
    if (!converter.valid()) {
      failWithErrno();
    } else {
      // The NUL needs its byte too.
      const long length = converter.convert(source, units, destination, destinationSize - 1);
      if (length >= 0) {
        destination[length] = '\0';
        written = static_cast<std::size_t>(length) + 1;
      }
    }
  }
  destination[written < destinationSize ? written : destinationSize - 1] = '\0';
  return destination;
}

}  // namespace pw
