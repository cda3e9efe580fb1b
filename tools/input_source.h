// The texts a conversion reads through the module: the input (a file, or standard input for
// "-") and the files of "%3" inserts, each decoded to the device's code page as it is read, so
// that memory stays flat whatever their size; and the names of files the text refers to, found
// on disk although the text was decoded.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "encoding.h"
#include "pagewright/pagewright.h"

namespace pw::cli {

/// How the texts of a run are decoded.
struct TextDecoding {
  std::string encoding;            ///< --encoding; empty: told from the text (see InputText)
  std::string codePage;            ///< what the device draws: pwCharSetCodePage(--charset)
  std::string fallback;            ///< the encoding of text without a mark that is no UTF-8
  uint64_t maxBytes = UINT64_MAX;  ///< beyond it reading fails (223) and overLimit() is true
  std::string imageDirectory;      ///< --image-dir, the start of image names that is no text
};

/// One text being read and decoded. Without an explicit encoding, a byte-order mark decides
/// (UTF-8, UTF-16LE, UTF-16BE), else text that is valid UTF-8 from its first byte beyond ASCII to
/// its end is UTF-8 (for a pipe or device: within 64 KiB of that byte), else it is in the
/// fallback encoding. ASCII needs no decision.
class InputText {
 public:
  InputText() = default;
  ~InputText();
  InputText(const InputText&) = delete;
  InputText& operator=(const InputText&) = delete;

  /// Opens path, or standard input for "-". False with the module's last-error value set to the
  /// cause (336 a directory, 2 not found, ...).
  bool open(const std::string& path, const TextDecoding& decoding);
  /// Up to size bytes of the decoded text: the count, 0 at its end, or -1 with the last-error
  /// value set (223 beyond decoding.maxBytes, 1006 a file that shrank while it was read, ...).
  int32_t read(char* buffer, uint32_t size);
  void close();

  bool overLimit() const { return overLimit_; }
  /// "3 characters not in WINDOWS-1252 replaced by '?'", or empty when nothing was lost; also
  /// after close, which releases everything else.
  std::string lossNote() const;

 private:
  bool readRaw();
  bool produce();
  bool restIsUtf8(bool* utf8);
  bool choose(const std::string& encoding);
  bool fail(uint32_t code);

  const TextDecoding* decoding_ = nullptr;
  int fd_ = -1;
  bool ownsFd_ = false;
  bool seekable_ = false;
  uint64_t expectedSize_ = 0;  // of a regular file, from where reading starts
  uint64_t consumed_ = 0;      // bytes read from the file
  bool ended_ = false;         // the file is read to its end
  bool finished_ = false;      // and so is the decoding
  bool overLimit_ = false;
  uint32_t failure_ = 0;  // the cause that ended reading, once the text before it is out

  std::string raw_;  // read, not yet decoded
  std::string out_;  // decoded, not yet handed out
  std::size_t outAt_ = 0;
  bool decided_ = false;
  std::string encoding_;                  // the decision; empty while the text is ASCII
  std::optional<Transcoder> transcoder_;  // none: the bytes are the code page's already
  std::size_t unmappable_ = 0;            // the transcoder's counts, once it is gone
  std::size_t malformed_ = 0;
};

/// The callbacks of one conversion: they open its input and the files of its inserts as
/// InputTexts, and locate the files its text and fields name. Keeps every text it opened until
/// it is destroyed, for the warnings.
class ConversionReading {
 public:
  ConversionReading(std::string input, const TextDecoding& decoding);

  /// The name the conversion gives the input in reports: its path, or "standard input".
  const char* textName() const { return textName_.c_str(); }
  const PwConvertOptions* options() const { return &options_; }

  /// One warning per file that lost characters: "name: 3 characters not in ...".
  std::vector<std::string> lossWarnings() const;
  /// Why the input failed when it hit the size limit ("the input exceeds ... (--max-input)"),
  /// else empty.
  std::string limitProblem() const;

  /// The path to open for a name from the decoded text or fields: the name itself when that
  /// exists, else the name with its text part (after the image directory) turned back from the
  /// code page into UTF-8, the encoding of file names on disk.
  std::string locate(const std::string& name) const;

 private:
  static int openText(void* user, uint32_t kind, const char* path, PwTextStream* stream);
  static int locateFile(void* user, const char* name, char* path, uint32_t size);

  std::string input_;
  std::string textName_;
  const TextDecoding& decoding_;
  PwConvertOptions options_{};
  std::vector<std::pair<std::string, std::unique_ptr<InputText>>> texts_;  // name, text
};

}  // namespace pw::cli
