// The one guard every export runs its body in: whatever the body throws (in practice
// std::bad_alloc) ends the call as a failure with last error 14 and a report, and never reaches
// the host, whose frames may not unwind C++ exceptions.
#pragma once

#include "platform/last_error.h"

namespace pw {

/// Reports a call that ended because something was thrown: for a conversion, as the error that
/// stopped reading textPath; for the other exports, as a debug report naming the export.
void reportExportFailure(const char* exportName, const char* textPath) noexcept;

/// Runs body and returns its result, or failure with last error 14 (out of memory) when it
/// throws.
template <typename Result, typename Body>
Result guardExport(const char* exportName, Result failure, Body&& body,
                   const char* textPath = nullptr) noexcept {
  try {
    return body();
  } catch (...) {
    reportExportFailure(exportName, textPath);
    setLastError(kErrorOutOfMemory);
    return failure;
  }
}

/// The same for an export without a result.
template <typename Body>
void guardExport(const char* exportName, Body&& body) noexcept {
  try {
    body();
  } catch (...) {
    reportExportFailure(exportName, nullptr);
    setLastError(kErrorOutOfMemory);
  }
}

}  // namespace pw
