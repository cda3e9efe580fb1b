// Transcoding to the single-byte code page of a character set with iconv. Characters the code
// page lacks, and malformed input, become '?' and are counted so that the caller can warn.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pw::cli {

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

  /// Converts a whole text; a leading byte-order mark is dropped.
  TranscodeResult convert(std::string_view input) const;

 private:
  Transcoder(void* decode, void* encode) : decode_(decode), encode_(encode) {}
  void* decode_;  // source -> UTF-32
  void* encode_;  // UTF-32 -> target
};

/// One line for a warning: "3 characters not in WINDOWS-1252 replaced by '?'", or empty when
/// nothing was replaced.
std::string describeReplacements(const TranscodeResult& result, const std::string& from,
                                 const std::string& to);

}  // namespace pw::cli
