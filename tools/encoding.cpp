#include "encoding.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace pw::cli {

namespace {

// Both directions go through UTF-32 in one fixed byte order, so that a character the target
// lacks can be skipped as exactly one 4-byte unit.
constexpr const char* kPivot = "UTF-32LE";
constexpr std::size_t kUnit = 4;
constexpr char kReplacement = '?';
constexpr char kReplacementUnit[kUnit] = {'?', 0, 0, 0};
constexpr char kByteOrderMark[kUnit] = {'\xFF', '\xFE', 0, 0};

const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

iconv_t handleOf(void* handle) {
  return static_cast<iconv_t>(handle);
}

// Runs iconv over the whole input; each unconvertible unit is replaced and counted. skip is how
// many input bytes a replacement stands for.
std::string runIconv(iconv_t cd, std::string_view input, std::string_view replacement,
                     std::size_t skip, std::size_t* replaced) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out;
  std::vector<char> buffer(16384);
  char* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  while (inLeft > 0) {
    char* next = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t status = iconv(cd, &in, &inLeft, &next, &outLeft);
    const int error = status == static_cast<std::size_t>(-1) ? errno : 0;
    out.append(buffer.data(), static_cast<std::size_t>(next - buffer.data()));
    if (error == EILSEQ || error == EINVAL) {
      // EINVAL is a sequence cut off by the end of the input: as malformed as any other.
      out.append(replacement);
      const std::size_t step = std::min(skip, inLeft);
      in += step;
      inLeft -= step;
      ++*replaced;
    } else if (error != 0 && error != E2BIG) {
      break;  // no progress is possible; what was converted is kept
    }
  }
  char* next = buffer.data();
  std::size_t outLeft = buffer.size();
  iconv(cd, nullptr, nullptr, &next, &outLeft);
  out.append(buffer.data(), static_cast<std::size_t>(next - buffer.data()));
  return out;
}

}  // namespace

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
    : decode_(other.decode_), encode_(other.encode_) {
  other.decode_ = nullptr;
  other.encode_ = nullptr;
}

TranscodeResult Transcoder::convert(std::string_view input) const {
  TranscodeResult result;
  std::string wide = runIconv(handleOf(decode_), input, std::string_view(kReplacementUnit, kUnit),
                              1, &result.malformed);
  std::string_view units(wide);
  if (units.substr(0, kUnit) == std::string_view(kByteOrderMark, kUnit)) units.remove_prefix(kUnit);
  result.text = runIconv(handleOf(encode_), units, std::string_view(&kReplacement, 1), kUnit,
                         &result.unmappable);
  return result;
}

std::string describeReplacements(const TranscodeResult& result, const std::string& from,
                                 const std::string& to) {
  std::string text;
  auto add = [&text](std::size_t count, const std::string& what) {
    if (count == 0) return;
    if (!text.empty()) text += "; ";
    text += std::to_string(count) + " " + what + " replaced by '?'";
  };
  add(result.unmappable,
      std::string(result.unmappable == 1 ? "character" : "characters") + " not in " + to);
  add(result.malformed, std::string(result.malformed == 1 ? "byte sequence" : "byte sequences") +
                            " invalid in " + from);
  return text;
}

}  // namespace pw::cli
