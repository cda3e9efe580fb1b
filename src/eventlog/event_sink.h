// Where reports end up: the system log of the platform, or a host's callback.
#pragma once

#include <cstdint>

namespace pw {

/// One report as it is written: the full message id, its event type, the inserts (none null) and
/// the message text with the inserts filled in.
struct EventRecord {
  uint32_t id = 0;
  uint16_t type = 0;
  const char* const* inserts = nullptr;
  uint32_t insertCount = 0;
  const char* text = "";
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  /// Writes one entry; false when the log refused it.
  virtual bool write(const EventRecord& record) = 0;
};

/// Opens the platform's system log under sourceName; null when it cannot be opened.
EventSink* openSystemLog(const char* sourceName);
/// Closes a log that openSystemLog opened.
void closeSystemLog(EventSink* sink);

}  // namespace pw
