#include "encoding.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace pw::cli {

namespace {

// Both directions go through UTF-32 in one fixed byte order, so that a character the target
// lacks can be skipped as exactly one 4-byte unit.
constexpr const char* kPivot = "UTF-32LE";
constexpr std::size_t kUnit = 4;
constexpr char kReplacement = '?';
constexpr char kReplacementUnit[kUnit] = {'?', 0, 0, 0};
constexpr char kByteOrderMarkUnit[kUnit] = {'\xFF', '\xFE', 0, 0};
constexpr std::size_t kChunk = 16384;

const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

iconv_t handleOf(void* handle) {
  return static_cast<iconv_t>(handle);
}

// Runs cd over input, appending to *out; each unit it cannot convert is replaced and counted, and
// skip bytes of input are passed over for it. With rest, a sequence cut off by the end of the
// input is left there instead.
void runIconv(iconv_t cd, std::string_view input, std::string_view replacement, std::size_t skip,
              std::size_t* replaced, std::string* out, std::string* rest) {
  char buffer[kChunk];
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    char* next = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t status = iconv(cd, &in, &inLeft, &next, &outLeft);
    const int error = status == static_cast<std::size_t>(-1) ? errno : 0;
    out->append(buffer, static_cast<std::size_t>(next - buffer));
    if (error == EINVAL && rest) {
      rest->assign(in, inLeft);
      return;
    }
    if (error == EILSEQ || error == EINVAL) {
      out->append(replacement);
      const std::size_t step = std::min(skip, inLeft);
      in += step;
      inLeft -= step;
      ++*replaced;
    } else if (error != 0 && error != E2BIG) {
      break;  // no progress is possible; what was converted is kept
    }
  }
}

// Writes what a stateful encoding still holds back at the end of a text.
void finishIconv(iconv_t cd, std::string* out) {
  char buffer[64];
  char* next = buffer;
  std::size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &next, &outLeft);
  out->append(buffer, static_cast<std::size_t>(next - buffer));
}

// "utf-8", "UTF8" and "utf_8" alike.
std::string nameKey(const std::string& name) {
  std::string key;
  for (char c : name) {
    if (c != '-' && c != '_') key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return key;
}

}  // namespace

std::string localeCharset() {
  // A locale object of its own leaves the process's locale alone.
  const locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
  if (!locale) return "ANSI_X3.4-1968";
  std::string name = nl_langinfo_l(CODESET, locale);
  freelocale(locale);
  return name;
}

std::string fallbackEncoding(const std::string& localeCharset, const std::string& codePage) {
  const std::string key = nameKey(localeCharset);
  if (key.empty() || key == "UTF8" || key == "ANSIX3.41968" || key == "ASCII" || key == "USASCII") {
    return codePage;
  }
  return localeCharset;
}

std::string byteOrderMarkEncoding(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") return "UTF-8";
  if (text.substr(0, 2) == "\xFF\xFE") return "UTF-16LE";
  if (text.substr(0, 2) == "\xFE\xFF") return "UTF-16BE";
  return {};
}

bool Utf8Check::add(std::string_view bytes) {
  for (const char byte : bytes) {
    if (!valid_) return false;
    const auto c = static_cast<unsigned char>(byte);
    if (need_ > 0) {
      if (c < low_ || c > high_) {
        valid_ = false;
        return false;
      }
      --need_;
      low_ = 0x80;
      high_ = 0xBF;
      continue;
    }
    if (c < 0x80) continue;
    // The first continuation byte's range rules out overlong forms, surrogates and values
    // beyond U+10FFFF.
    if (c >= 0xC2 && c <= 0xDF) {
      need_ = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      need_ = 2;
      if (c == 0xE0) low_ = 0xA0;
      if (c == 0xED) high_ = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      need_ = 3;
      if (c == 0xF0) low_ = 0x90;
      if (c == 0xF4) high_ = 0x8F;
    } else {
      valid_ = false;
    }
  }
  return valid_;
}

bool isUtf8(std::string_view text) {
  Utf8Check check;
  return check.add(text) && check.complete();
}

std::optional<Transcoder> Transcoder::open(const std::string& from, const std::string& to,
                                           std::string* error) {
  iconv_t decode = iconv_open(kPivot, from.c_str());
  if (decode == kInvalid) {
    *error = "unknown encoding " + from + ": " + std::strerror(errno);
    return std::nullopt;
  }
  iconv_t encode = iconv_open(to.c_str(), kPivot);
  if (encode == kInvalid) {
    *error = "unknown encoding " + to + ": " + std::strerror(errno);
    iconv_close(decode);
    return std::nullopt;
  }
  return Transcoder(decode, encode);
}

Transcoder::~Transcoder() {
  if (decode_) iconv_close(handleOf(decode_));
  if (encode_) iconv_close(handleOf(encode_));
}

Transcoder::Transcoder(Transcoder&& other) noexcept
    : decode_(other.decode_),
      encode_(other.encode_),
      carry_(std::move(other.carry_)),
      started_(other.started_),
      unmappable_(other.unmappable_),
      malformed_(other.malformed_) {
  other.decode_ = nullptr;
  other.encode_ = nullptr;
}

void Transcoder::reset() {
  iconv(handleOf(decode_), nullptr, nullptr, nullptr, nullptr);
  iconv(handleOf(encode_), nullptr, nullptr, nullptr, nullptr);
  carry_.clear();
  started_ = false;
  unmappable_ = 0;
  malformed_ = 0;
}

void Transcoder::convert(std::string_view piece, bool last, std::string* out) {
  std::string joined;
  if (!carry_.empty()) {
    joined = std::move(carry_);
    carry_.clear();
    joined.append(piece);
    piece = joined;
  }
  std::string units;
  runIconv(handleOf(decode_), piece, std::string_view(kReplacementUnit, kUnit), 1, &malformed_,
           &units, last ? nullptr : &carry_);
  if (last) finishIconv(handleOf(decode_), &units);
  std::string_view wide(units);
  if (!started_ && !wide.empty()) {
    started_ = true;
    if (wide.substr(0, kUnit) == std::string_view(kByteOrderMarkUnit, kUnit)) {
      wide.remove_prefix(kUnit);
    }
  }
  runIconv(handleOf(encode_), wide, std::string_view(&kReplacement, 1), kUnit, &unmappable_, out,
           nullptr);
  if (last) finishIconv(handleOf(encode_), out);
}

TranscodeResult Transcoder::convertWhole(std::string_view text) {
  reset();
  TranscodeResult result;
  convert(text, /*last=*/true, &result.text);
  result.unmappable = unmappable_;
  result.malformed = malformed_;
  return result;
}

std::string describeReplacements(std::size_t unmappable, std::size_t malformed,
                                 const std::string& from, const std::string& to) {
  std::string text;
  auto add = [&text](std::size_t count, const std::string& what) {
    if (count == 0) return;
    if (!text.empty()) text += "; ";
    text += std::to_string(count) + " " + what + " replaced by '?'";
  };
  add(unmappable, std::string(unmappable == 1 ? "character" : "characters") + " not in " + to);
  add(malformed,
      std::string(malformed == 1 ? "byte sequence" : "byte sequences") + " invalid in " + from);
  return text;
}

}  // namespace pw::cli
