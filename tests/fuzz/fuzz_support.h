// What the fuzz targets share: scratch files under $TMPDIR, which scripts/fuzz.sh points at a
// folder of the build tree that it removes afterwards, and reports that go nowhere.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "eventlog/event_reporter.h"

inline std::string scratchPattern(const char* name) {
  const char* directory = std::getenv("TMPDIR");
  return std::string(directory && *directory ? directory : "/tmp") + "/" + name + "-XXXXXX";
}

/// A new empty file of the given kind; the process ends when it cannot be made.
inline std::string scratchFile(const char* name) {
  std::string path = scratchPattern(name);
  const int fd = mkstemp(path.data());
  if (fd < 0) std::abort();
  close(fd);
  return path;
}

/// Replaces the file's bytes with the prefix's and then the data's.
inline void rewrite(const std::string& path, const void* prefix, size_t prefixSize,
                    const void* data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0 || (prefixSize && write(fd, prefix, prefixSize) != static_cast<ssize_t>(prefixSize)) ||
      (size && write(fd, data, size) != static_cast<ssize_t>(size))) {
    std::abort();
  }
  close(fd);
}

/// Sends the module's reports nowhere, so that a run's log holds only its findings.
inline void silenceReports() {
  struct NullSink final : pw::EventSink {
    bool write(const pw::EventRecord&) override { return true; }
  };
  static NullSink sink;
  pw::moduleReporter().setHostSink(&sink);
}
