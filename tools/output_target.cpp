#include "output_target.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "error_text.h"
#include "interruption.h"

namespace fs = std::filesystem;

namespace pw::cli {

namespace {

constexpr uint32_t kErrorBrokenPipe = 109;
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kMaxTiffPages = 65535;  // the fax device's limit: PageNumber is 16 bits

std::string temporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

bool isSpecialFile(fs::file_status status) {
  return fs::is_character_file(status) || fs::is_block_file(status) || fs::is_fifo(status) ||
         fs::is_socket(status);
}

}  // namespace

OutputTarget::OutputTarget(std::string output, uint32_t format)
    : output_(std::move(output)), format_(format) {
  // The library spools the document there and creates nothing at the name itself.
  devicePath_ =
      toStandardOutput()
          ? (fs::path(temporaryDirectory()) / "pagewright-stdout").string() + extensionOf(format_)
          : output_;
}

std::string OutputTarget::problem() const {
  if (toStandardOutput()) {
    // As compressors do: a fax is no use on a terminal, and its bytes can upset it.
    return isatty(STDOUT_FILENO) ? "will not write a fax to a terminal; redirect standard output"
                                 : std::string();
  }
  std::error_code error;
  const fs::file_status status = fs::status(output_, error);
  // A device or FIFO is written into; its directory does not matter.
  if (isSpecialFile(status)) return {};
  // The document is written beside the file it replaces, wherever a symbolic link leads.
  const fs::path target = fs::exists(status) ? fs::canonical(output_, error) : fs::path(output_);
  fs::path directory = target.parent_path();
  if (directory.empty()) directory = ".";
  struct stat info {};
  std::string cause;
  if (stat(directory.c_str(), &info) != 0) {
    cause = errno == ENOENT    ? "directory " + directory.string() + " does not exist"
            : errno == ENOTDIR ? "a part of " + directory.string() + " is not a directory"
                               : std::strerror(errno);
  } else if (!S_ISDIR(info.st_mode)) {
    cause = directory.string() + " is not a directory";
  } else if (access(directory.c_str(), W_OK) != 0) {
    cause = std::strerror(errno);
  } else {
    return {};
  }
  return "cannot write " + displayName() + ": " + cause;
}

std::string OutputTarget::keep(PwSurface* device) const {
  const int kept = toStandardOutput() ? pwFaxDeviceCommitToDescriptor(device, STDOUT_FILENO)
                                      : pwFaxDeviceCommit(device);
  if (kept) return {};
  const uint32_t code = pwGetLastError();
  if (toStandardOutput() && code == kErrorBrokenPipe) leaveAsIfSignalled(SIGPIPE);
  return failure(code, 0);
}

std::string OutputTarget::failure(uint32_t code, uint32_t pagesWritten) const {
  std::string cause = lastErrorText(code);
  if (code == kErrorFileTooLarge) {
    rlimit limit{};
    if (format_ == PW_FAX_FORMAT_TIFF && pagesWritten >= kMaxTiffPages) {
      cause = "a TIFF file holds at most 65,535 pages; write PDF or split the text";
    } else if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
      cause += " (the file-size limit, ulimit -f, is " + std::to_string(limit.rlim_cur) + " bytes)";
    }
  }
  return "cannot write " + displayName() + ": " + cause;
}

std::string OutputTarget::writtenNames(uint32_t pages) const {
  if (toStandardOutput()) return displayName();
  const std::string first = fileName(1, pages);
  const std::string last = fileName(pages, pages);
  return first == last ? first : first + " ... " + last;
}

std::string OutputTarget::displayName() const {
  return toStandardOutput() ? "standard output" : output_;
}

std::string OutputTarget::fileName(uint32_t page, uint32_t pageCount) const {
  const uint32_t length =
      pwFaxOutputFileName(output_.c_str(), format_, page, pageCount, nullptr, 0);
  if (length == 0) return output_;
  std::string name(length, '\0');
  (void)pwFaxOutputFileName(output_.c_str(), format_, page, pageCount, name.data(), length + 1);
  return name;
}

}  // namespace pw::cli
