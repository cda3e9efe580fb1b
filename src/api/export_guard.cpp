#include "api/export_guard.h"

#include <cstdio>

#include "eventlog/event_reporter.h"
#include "eventlog/message_table.h"

namespace pw {

void reportExportFailure(const char* exportName, const char* textPath) noexcept {
  // Reporting formats into fixed buffers, so it works when the heap does not.
  if (textPath) {
    moduleReporter().reportError(msg::kErrorReading, textPath, kErrorOutOfMemory);
    return;
  }
  char text[128];
  std::snprintf(text, sizeof text, "%s failed: out of memory", exportName);
  moduleReporter().report(msg::kDebug, text);
}

}  // namespace pw
