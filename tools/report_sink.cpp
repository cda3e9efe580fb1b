#include "report_sink.h"

#include <syslog.h>

#include "pagewright/pagewright.h"

namespace pw::cli {

namespace {

constexpr uint16_t kEventError = 1;
constexpr uint16_t kEventWarning = 2;
constexpr uint32_t kCodeMask = 0xFFFF;

Severity severityOf(uint16_t eventType) {
  if (eventType == kEventError) return Severity::kError;
  if (eventType == kEventWarning) return Severity::kWarning;
  return Severity::kInfo;
}

int syslogPriority(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return LOG_ERR;
    case Severity::kWarning:
      return LOG_WARNING;
    case Severity::kInfo:
      break;
  }
  return LOG_INFO;
}

void printReport(void* user, uint32_t eventId, uint16_t eventType, const char* const* /*inserts*/,
                 uint32_t /*insertCount*/, const char* text) {
  auto* console = static_cast<Console*>(user);
  const Severity severity = severityOf(eventType);
  const std::string shown = text ? text : "";
  const uint32_t code = eventId & kCodeMask;
  // The same line the module writes to the log when no sink is installed.
  syslog(syslogPriority(severity), "event %u: %s", static_cast<unsigned>(code), shown.c_str());
  console->report(severity, code, shown);
}

}  // namespace

ReportSinkGuard::ReportSinkGuard(Console& console) {
  pwSetEventSink(printReport, &console);
}

ReportSinkGuard::~ReportSinkGuard() {
  pwSetEventSink(nullptr, nullptr);
}

}  // namespace pw::cli
