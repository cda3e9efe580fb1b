// Character encodings of what the command reads: telling them apart, and transcoding piece by
// piece with iconv to the single-byte code page that the fax device draws. Characters the code
// page lacks, and malformed input, become '?' and are counted so that the caller can warn.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pw::cli {

/// The character set of the user's locale (LC_CTYPE from the environment) as iconv names it:
/// "UTF-8", "ISO-8859-15", "ANSI_X3.4-1968" for the C locale.
std::string localeCharset();

/// The encoding of text that is neither marked by a byte-order mark nor valid UTF-8: the locale's
/// character set, unless that is UTF-8 or plain ASCII, else codePage (the bytes are then taken
/// as they are).
std::string fallbackEncoding(const std::string& localeCharset, const std::string& codePage);

/// The encoding a byte-order mark at the start of text announces ("UTF-8", "UTF-16LE",
/// "UTF-16BE"), or empty when there is none. text may be the first bytes only.
std::string byteOrderMarkEncoding(std::string_view text);

/// Checks text for UTF-8 piece by piece: no overlong forms, no surrogates, nothing above
/// U+10FFFF.
class Utf8Check {
 public:
  /// Takes the next bytes; false from the first byte that breaks UTF-8 on.
  bool add(std::string_view bytes);
  /// Valid so far, and not inside a character.
  bool complete() const { return valid_ && need_ == 0; }

 private:
  bool valid_ = true;
  int need_ = 0;  // continuation bytes still due
  unsigned char low_ = 0x80;
  unsigned char high_ = 0xBF;  // the range of the next continuation byte
};

/// Whether text is valid UTF-8 as a whole.
bool isUtf8(std::string_view text);

struct TranscodeResult {
  std::string text;
  std::size_t unmappable = 0;  ///< characters the target code page lacks
  std::size_t malformed = 0;   ///< byte sequences that are not valid in the source encoding
};

class Transcoder {
 public:
  /// A transcoder from `from` to `to`; nullopt (with errno's text in *error) when iconv knows
  /// either name not.
  static std::optional<Transcoder> open(const std::string& from, const std::string& to,
                                        std::string* error);
  ~Transcoder();
  Transcoder(Transcoder&& other) noexcept;
  Transcoder& operator=(Transcoder&&) = delete;
  Transcoder(const Transcoder&) = delete;
  Transcoder& operator=(const Transcoder&) = delete;

  /// Converts the next piece of a text, appending to *out; a byte-order mark at the start of the
  /// text is dropped. A character cut off by the end of the piece waits for the next one, unless
  /// last says that the text ends here (it is then malformed).
  void convert(std::string_view piece, bool last, std::string* out);
  /// Converts one whole text, starting afresh.
  TranscodeResult convertWhole(std::string_view text);

  std::size_t unmappable() const { return unmappable_; }
  std::size_t malformed() const { return malformed_; }

 private:
  Transcoder(void* decode, void* encode) : decode_(decode), encode_(encode) {}
  void reset();

  void* decode_;       // source -> UTF-32
  void* encode_;       // UTF-32 -> target
  std::string carry_;  // the start of a character cut off by the end of a piece
  bool started_ = false;
  std::size_t unmappable_ = 0;
  std::size_t malformed_ = 0;
};

/// One line for a warning: "3 characters not in WINDOWS-1252 replaced by '?'", or empty when
/// nothing was replaced.
std::string describeReplacements(std::size_t unmappable, std::size_t malformed,
                                 const std::string& from, const std::string& to);

}  // namespace pw::cli
