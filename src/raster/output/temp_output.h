// An output file written under a temporary name and put in place only when the host keeps the
// finished document, so that readers never see a partial document and a failed one leaves an
// older file untouched. Every temporary file of the process is registered, so that a host about
// to leave on a signal can remove them all from another thread.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

namespace pw {

class TempOutput {
 public:
  explicit TempOutput(std::string finalPath) : finalPath_(std::move(finalPath)) {}
  ~TempOutput() { discard(); }
  TempOutput(const TempOutput&) = delete;
  TempOutput& operator=(const TempOutput&) = delete;
  TempOutput(TempOutput&& other) noexcept;
  TempOutput& operator=(TempOutput&&) = delete;

  /// Creates the temporary file: beside the final path's target (symbolic links followed), or in
  /// the temporary directory when the target is a device or FIFO, which is written into rather
  /// than replaced. False with last error 3 when the directory does not exist, 5 when it cannot
  /// be written or the target is a directory, 995 after abandonAllTempOutputs, or the mapped
  /// errno value.
  [[nodiscard]] bool create();
  /// Puts the file in place at finalPath: renames it over the target, which keeps its
  /// permission bits (and its owner where the process may set it), or copies it into a device
  /// or FIFO. False with the cause as last error; the temporary file is removed either way.
  [[nodiscard]] bool commit() { return commitAs(finalPath_); }
  /// As commit, at another path (page files are named once their count is known).
  [[nodiscard]] bool commitAs(const std::string& finalPath);
  /// Writes the file's bytes to fd at its position, then removes the file. False with last error
  /// 109 when fd is a pipe without reader, or the mapped errno value.
  [[nodiscard]] bool copyTo(int fd);
  /// Appends bytes to the temporary file. False with the mapped errno value (112 when the disk is
  /// full, 223 beyond the file-size limit).
  [[nodiscard]] bool append(const void* data, size_t size);
  /// Closes and removes the temporary file, if any; keeps the caller's last error.
  void discard();

  int fd() const { return fd_; }
  const std::string& finalPath() const { return finalPath_; }
  const std::string& tempPath() const { return tempPath_; }

 private:
  std::string finalPath_;
  std::string tempPath_;
  int fd_ = -1;
};

/// Removes every temporary output of the process and makes later creates and commits fail with
/// 995, for a host that is about to exit. Any thread may call it at any time; it waits for a
/// commit in progress.
void abandonAllTempOutputs();

/// Holds off abandonAllTempOutputs while several files are committed as one document.
std::unique_lock<std::recursive_mutex> lockTempOutputs();

}  // namespace pw
