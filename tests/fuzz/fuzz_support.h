// What the fuzz targets share: a scratch folder under $TMPDIR, which scripts/fuzz.sh points at a
// folder of the build tree that it removes afterwards, and reports that go nowhere.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "eventlog/event_reporter.h"

/// The process's own new folder, made on first use; the process ends when it cannot be made.
/// The module's reports go nowhere from then on, so that a run's log holds only its findings.
inline const std::string& scratchFolder() {
  static const std::string made = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp && *tmp ? tmp : "/tmp") + "/pagewright-fuzz-XXXXXX";
    if (!mkdtemp(folder.data())) std::abort();
    static struct NullSink final : pw::EventSink {
      bool write(const pw::EventRecord&) override { return true; }
    } sink;
    pw::moduleReporter().setHostSink(&sink);
    return folder;
  }();
  return made;
}

/// Writes the file anew: the prefix's bytes, then the data's.
inline void writeFile(const std::string& path, const void* prefix, size_t prefixSize,
                      const void* data = nullptr, size_t size = 0) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || (prefixSize && std::fwrite(prefix, 1, prefixSize, file) != prefixSize) ||
      (size && std::fwrite(data, 1, size, file) != size))
    std::abort();
  std::fclose(file);
}
