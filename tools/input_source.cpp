#include "input_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pw::cli {

namespace {

constexpr std::size_t kBlock = 64 * 1024;
// How far past its first byte beyond ASCII a text that cannot be read twice is checked for UTF-8.
constexpr std::size_t kDecisionWindow = 64 * 1024;
constexpr std::size_t kLongestMark = 3;

constexpr uint32_t kErrorFileInvalid = 1006;  // the file changed while it was read
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kErrorOutOfMemory = 14;
constexpr uint32_t kErrorFilenameTooLong = 206;
constexpr uint32_t kErrorReadFault = 30;

constexpr const char* kStandardInput = "standard input";

// Callbacks are called from C: nothing may escape them.
template <typename Result, typename Body>
Result guarded(Result failure, Body body) {
  try {
    return body();
  } catch (...) {
    pwSetLastError(kErrorOutOfMemory);
    return failure;
  }
}

}  // namespace

InputText::~InputText() {
  close();
}

bool InputText::fail(uint32_t code) {
  pwSetLastError(code);
  return false;
}

bool InputText::open(const std::string& path, const TextDecoding& decoding) {
  decoding_ = &decoding;
  if (path == "-") {
    fd_ = STDIN_FILENO;
  } else {
    // Blocking: a FIFO is read once a writer comes, as any reader of it would.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) return fail(pwErrorFromErrno(errno));
    ownsFd_ = true;
  }
  struct stat status {};
  if (::fstat(fd_, &status) != 0) return fail(pwErrorFromErrno(errno));
  if (S_ISDIR(status.st_mode)) return fail(pwErrorFromErrno(EISDIR));
  if (S_ISREG(status.st_mode)) {
    const off_t start = ::lseek(fd_, 0, SEEK_CUR);
    seekable_ = start >= 0;
    if (seekable_ && status.st_size > start) {
      expectedSize_ = static_cast<uint64_t>(status.st_size - start);
    }
  }
  if (!decoding.encoding.empty()) return choose(decoding.encoding);
  return true;
}

void InputText::close() {
  if (ownsFd_) ::close(fd_);
  ownsFd_ = false;
  fd_ = -1;
  // A text that inserts a file a thousand times keeps a thousand closed ones: only their counts.
  if (transcoder_) {
    unmappable_ = transcoder_->unmappable();
    malformed_ = transcoder_->malformed();
    transcoder_.reset();
  }
  std::string().swap(raw_);
  std::string().swap(out_);
  outAt_ = 0;
}

bool InputText::readRaw() {
  const std::size_t had = raw_.size();
  raw_.resize(had + kBlock);
  ssize_t count = 0;
  do {
    count = ::read(fd_, raw_.data() + had, kBlock);
  } while (count < 0 && errno == EINTR);
  const int err = errno;
  raw_.resize(had + static_cast<std::size_t>(std::max<ssize_t>(count, 0)));
  if (count < 0) return fail(pwErrorFromErrno(err));
  if (count == 0) {
    ended_ = true;
    // Truncated while it was read: the text is no longer the one given.
    return consumed_ >= expectedSize_ || fail(kErrorFileInvalid);
  }
  consumed_ += static_cast<uint64_t>(count);
  if (consumed_ > decoding_->maxBytes) {
    overLimit_ = true;
    return fail(kErrorFileTooLarge);
  }
  return true;
}

bool InputText::choose(const std::string& encoding) {
  decided_ = true;
  encoding_ = encoding;
  if (encoding == decoding_->codePage) return true;  // taken as it is
  std::string error;
  std::optional<Transcoder> opened = Transcoder::open(encoding, decoding_->codePage, &error);
  if (!opened) return fail(pwErrorFromErrno(EINVAL));
  transcoder_.emplace(std::move(*opened));
  return true;
}

bool InputText::restIsUtf8(bool* utf8) {
  // The first byte beyond ASCII stands at raw_[0].
  Utf8Check check;
  *utf8 = false;
  if (!check.add(raw_)) return true;
  if (seekable_) {
    // A file can be read twice: all of it decides, and it is read again from here.
    std::string block(kBlock, '\0');
    off_t at = ::lseek(fd_, 0, SEEK_CUR);
    for (uint64_t scanned = consumed_; at >= 0 && scanned <= decoding_->maxBytes;) {
      const ssize_t count = ::pread(fd_, block.data(), block.size(), at);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) break;
      if (!check.add(std::string_view(block.data(), static_cast<std::size_t>(count)))) {
        return true;
      }
      at += count;
      scanned += static_cast<uint64_t>(count);
    }
    *utf8 = check.complete();
    return true;
  }
  // Otherwise what arrives within the window decides; a character it cuts off is no fault.
  while (!ended_ && raw_.size() < kDecisionWindow) {
    const std::size_t had = raw_.size();
    if (!readRaw()) return false;
    if (!check.add(std::string_view(raw_).substr(had))) return true;
  }
  *utf8 = !ended_ || check.complete();
  return true;
}

bool InputText::produce() {
  if (raw_.empty() && !ended_ && !readRaw()) return false;
  if (!decided_) {
    // A byte-order mark is looked for in the first bytes, however the pipe delivers them.
    while (raw_.size() < kLongestMark && !ended_) {
      if (!readRaw()) return false;
    }
    const bool atStart = consumed_ == raw_.size();
    if (const std::string marked = byteOrderMarkEncoding(raw_); atStart && !marked.empty()) {
      if (!choose(marked)) return false;
    }
  }
  if (!decided_) {
    // ASCII reads the same in every candidate: it passes until the first byte beyond it.
    const auto high = std::find_if(raw_.begin(), raw_.end(),
                                   [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    const auto ascii = static_cast<std::size_t>(high - raw_.begin());
    out_.append(raw_, 0, ascii);
    raw_.erase(0, ascii);
    if (raw_.empty()) {
      finished_ = ended_;
      return true;
    }
    bool utf8 = false;
    if (!restIsUtf8(&utf8) || !choose(utf8 ? std::string("UTF-8") : decoding_->fallback)) {
      return false;
    }
  }
  if (transcoder_) {
    transcoder_->convert(raw_, /*last=*/ended_, &out_);
  } else {
    out_.append(raw_);
  }
  raw_.clear();
  finished_ = ended_;
  return true;
}

int32_t InputText::read(char* buffer, uint32_t size) {
  while (outAt_ == out_.size()) {
    out_.clear();
    outAt_ = 0;
    if (failure_ != 0) {
      pwSetLastError(failure_);
      return -1;
    }
    if (finished_) return 0;
    // What was decoded before a failure is handed out first.
    pwSetLastError(0);
    if (!produce()) failure_ = pwGetLastError() != 0 ? pwGetLastError() : kErrorReadFault;
  }
  const std::size_t count = std::min<std::size_t>(size, out_.size() - outAt_);
  std::memcpy(buffer, out_.data() + outAt_, count);
  outAt_ += count;
  return static_cast<int32_t>(count);
}

std::string InputText::lossNote() const {
  if (transcoder_) {
    return describeReplacements(transcoder_->unmappable(), transcoder_->malformed(), encoding_,
                                decoding_->codePage);
  }
  return describeReplacements(unmappable_, malformed_, encoding_, decoding_->codePage);
}

ConversionReading::ConversionReading(std::string input, const TextDecoding& decoding)
    : input_(std::move(input)),
      textName_(input_ == "-" ? kStandardInput : input_),
      decoding_(decoding) {
  options_.flags = PW_CONVERT_KEEP_ALL_TEXT;
  options_.user = this;
  options_.openText = openText;
  options_.locateFile = locateFile;
}

int ConversionReading::openText(void* user, uint32_t kind, const char* path, PwTextStream* stream) {
  return guarded(0, [&] {
    auto* self = static_cast<ConversionReading*>(user);
    const bool main = kind == PW_TEXT_MAIN;
    auto text = std::make_unique<InputText>();
    if (!text->open(main ? self->input_ : std::string(path), self->decoding_)) return 0;
    stream->user = text.get();
    stream->read = [](void* text, void* buffer, uint32_t size) {
      return guarded(-1, [&] {
        return static_cast<InputText*>(text)->read(static_cast<char*>(buffer), size);
      });
    };
    stream->close = [](void* text) { static_cast<InputText*>(text)->close(); };
    self->texts_.emplace_back(main ? self->textName_ : std::string(path), std::move(text));
    return 1;
  });
}

std::string ConversionReading::locate(const std::string& name) const {
  struct stat status {};
  if (::stat(name.c_str(), &status) == 0) return name;
  const std::string& directory = decoding_.imageDirectory;
  const std::size_t textStart =
      !directory.empty() && name.compare(0, directory.size(), directory) == 0 ? directory.size()
                                                                              : 0;
  std::string error;
  std::optional<Transcoder> toUtf8 = Transcoder::open(decoding_.codePage, "UTF-8", &error);
  if (!toUtf8) return name;
  const TranscodeResult text = toUtf8->convertWhole(std::string_view(name).substr(textStart));
  if (text.malformed > 0 || text.unmappable > 0) return name;
  // Even when it is missing, the name as the text spelt it is the one to report.
  return name.substr(0, textStart) + text.text;
}

int ConversionReading::locateFile(void* user, const char* name, char* path, uint32_t size) {
  return guarded(0, [&] {
    const std::string located = static_cast<const ConversionReading*>(user)->locate(name);
    if (located.size() >= size) {
      pwSetLastError(kErrorFilenameTooLong);
      return 0;
    }
    std::memcpy(path, located.c_str(), located.size() + 1);
    return 1;
  });
}

std::vector<std::string> ConversionReading::lossWarnings() const {
  std::vector<std::string> warnings;
  std::vector<std::string> named;
  for (const auto& [name, text] : texts_) {
    const std::string note = text->lossNote();
    // A file inserted twice loses the same characters twice; it is named once.
    if (note.empty() || std::find(named.begin(), named.end(), name) != named.end()) continue;
    named.push_back(name);
    warnings.push_back(name + ": " + note);
  }
  return warnings;
}

std::string ConversionReading::limitProblem() const {
  // Inserted files stop at the module's smaller limit first, so only the input gets here.
  for (const auto& entry : texts_) {
    if (!entry.second->overLimit()) continue;
    return "the input exceeds the limit of " + std::to_string(decoding_.maxBytes) +
           " bytes (--max-input)";
  }
  return {};
}

}  // namespace pw::cli
