#include "conversion.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>

#include "encoding.h"
#include "error_text.h"
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

bool onePerPage(OutputFormat format) {
  return format == OutputFormat::kPng || format == OutputFormat::kG3;
}

std::string pageFile(const std::string& output, OutputFormat format, uint32_t page) {
  return format == OutputFormat::kG3 ? g3PagePath(output, page) : pngPagePath(output, page);
}

std::vector<std::string> outputFiles(const std::string& output, OutputFormat format,
                                     uint32_t pages) {
  if (!onePerPage(format)) return {output};
  std::vector<std::string> files;
  for (uint32_t page = 1; page <= pages; ++page) files.push_back(pageFile(output, format, page));
  return files;
}

using FileTimes = std::map<std::string, fs::file_time_type>;

// The outputs present before a conversion, so that a failure never removes an older file.
FileTimes existingOutputs(const std::string& output, OutputFormat format) {
  FileTimes times;
  std::error_code error;
  if (!onePerPage(format)) {
    const fs::file_time_type time = fs::last_write_time(output, error);
    if (!error) times.emplace(output, time);
    return times;
  }
  for (uint32_t page = 1;; ++page) {
    const std::string path = pageFile(output, format, page);
    const fs::file_time_type time = fs::last_write_time(path, error);
    if (error) break;
    times.emplace(path, time);
  }
  return times;
}

// Removes what this conversion wrote: files that are new or changed since `before`.
void removeNewOutputs(const std::string& output, OutputFormat format, uint32_t pages,
                      const FileTimes& before) {
  for (const std::string& path : outputFiles(output, format, pages)) {
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(path, error);
    if (error) continue;
    const auto old = before.find(path);
    if (old == before.end() || old->second != written) fs::remove(path, error);
  }
}

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

  PwFaxDeviceOptions deviceOptions = settings.device;
  deviceOptions.outputPath = output.c_str();
  PwSurface* device = pwCreateFaxDevice(&deviceOptions);
  if (!device) {
    result.problem = "cannot create the fax device: " + lastErrorText(pwGetLastError());
    return result;
  }
  const FileTimes before = existingOutputs(output, settings.format);
  uint32_t pages = 0;
  const int converted =
      pagewright(&settings.params, device, textPath.c_str(), 0, settings.fields, &pages);
  const uint32_t lastError = pwGetLastError();
  uint32_t written = 0;
  uint32_t documentError = 0;
  const bool haveStatus = pwFaxDeviceStatus(device, &written, &documentError) == 1;
  pwDestroySurface(device);

  if (!converted) {
    result.problem = "conversion failed: " + lastErrorText(lastError);
  } else if (haveStatus && documentError != 0) {
    // The converter does not look at what ending pages and the document returned.
    result.problem = "writing " + output + " failed: " + lastErrorText(documentError);
  } else if (pages == 0) {
    result.problem = "no printable text, nothing written";
  } else {
    result.ok = true;
    result.pages = pages;
    return result;
  }
  removeNewOutputs(output, settings.format, std::max(pages, written), before);
  return result;
}

std::string pagesText(uint32_t pages) {
  return std::to_string(pages) + (pages == 1 ? " page" : " pages");
}

}  // namespace pw::cli
