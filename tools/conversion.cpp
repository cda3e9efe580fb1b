#include "conversion.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "encoding.h"
#include "error_text.h"
#include "output_target.h"
#include "report_sink.h"

namespace fs = std::filesystem;

namespace pw::cli {

namespace {

// A transcoded copy of the input in the temporary directory, removed when done.
class TranscodedCopy {
 public:
  TranscodedCopy() = default;
  ~TranscodedCopy() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TranscodedCopy(const TranscodedCopy&) = delete;
  TranscodedCopy& operator=(const TranscodedCopy&) = delete;

  /// Writes the transcoded input; returns an error message, empty on success.
  std::string create(const std::string& input, const ConversionSettings& settings,
                     Console& console) {
    std::ifstream file(input, std::ios::binary);
    if (!file) return "cannot read " + input + ": " + std::strerror(errno);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    if (file.bad()) return "cannot read " + input + ": " + std::strerror(errno);

    std::string error;
    std::optional<Transcoder> transcoder =
        Transcoder::open(settings.encoding, settings.codePage, &error);
    if (!transcoder) return error;
    const TranscodeResult result = transcoder->convert(bytes.str());
    const std::string note = describeReplacements(result, settings.encoding, settings.codePage);
    if (!note.empty()) console.message(Severity::kWarning, input + ": " + note);

    std::string pattern = (fs::temp_directory_path() / "pagewright-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return std::string("cannot create a temporary file: ") + std::strerror(errno);
    path_ = pattern;
    const char* data = result.text.data();
    std::size_t left = result.text.size();
    while (left > 0) {
      const ssize_t written = ::write(fd, data, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        const int saved = errno;
        ::close(fd);
        return "cannot write " + path_ + ": " + std::strerror(saved);
      }
      data += written;
      left -= static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0) return "cannot write " + path_ + ": " + std::strerror(errno);
    return {};
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

ConversionResult convertFile(const std::string& input, const std::string& output,
                             const ConversionSettings& settings, Console& console) {
  ConversionResult result;
  TranscodedCopy copy;
  std::string textPath = input;
  if (!settings.encoding.empty()) {
    result.problem = copy.create(input, settings, console);
    if (!result.problem.empty()) return result;
    textPath = copy.path();
  }
  const ReportedName reportedName(textPath, input);

  // The confinement belongs to the thread, and conversions run on the batch's worker threads.
  std::vector<const char*> readable;
  for (const std::string& directory : settings.readableDirectories) {
    readable.push_back(directory.c_str());
  }
  if (!pwSetReadableDirectories(readable.empty() ? nullptr : readable.data(),
                                static_cast<uint32_t>(readable.size()))) {
    result.problem = "cannot confine reading: " + lastErrorText(pwGetLastError());
    return result;
  }

  const OutputTarget target(output, settings.format);
  result.problem = target.problem();
  if (!result.problem.empty()) return result;
  PwFaxDeviceOptions deviceOptions = settings.device;
  deviceOptions.outputPath = target.devicePath().c_str();
  PwSurface* device = pwCreateFaxDevice(&deviceOptions);
  if (!device) {
    result.problem = "cannot create the fax device: " + lastErrorText(pwGetLastError());
    return result;
  }
  uint32_t pages = 0;
  const int converted =
      pagewright(&settings.params, device, textPath.c_str(), 0, settings.fields, &pages);
  const uint32_t lastError = pwGetLastError();
  uint32_t written = 0;
  uint32_t documentError = 0;
  (void)pwFaxDeviceStatus(device, &written, &documentError);

  // The converter does not look at what ending pages and the document returned: the device's
  // own failure is the cause, also of a conversion that failed at its start.
  if (documentError != 0) {
    result.problem = target.failure(documentError, written);
  } else if (!converted) {
    result.problem = "conversion failed: " + lastErrorText(lastError);
  } else if (pages == 0) {
    result.problem = "no printable text, nothing written";
  } else {
    result.problem = target.keep(device);
    result.ok = result.problem.empty();
    result.pages = pages;
    result.written = target.writtenNames(pages);
  }
  // A document not kept is abandoned here, leaving any older output as it was.
  pwDestroySurface(device);
  return result;
}

std::string pagesText(uint32_t pages) {
  return std::to_string(pages) + (pages == 1 ? " page" : " pages");
}

}  // namespace pw::cli
