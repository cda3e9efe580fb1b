// Reports as Application-log entries: the full message id as the event id, category 0 and the
// inserts as the entry's strings; the viewer formats them with the module's message table.
#include "eventlog/event_log_win32.h"

#include <new>

#include "platform/last_error.h"

namespace pw {

namespace {

class EventLogSink final : public EventSink {
 public:
  EventLogSink(HANDLE eventSource, HMODULE messageModule)
      : eventSource_(eventSource), messageModule_(messageModule) {}
  ~EventLogSink() override {
    LastErrorKeeper keep;
    if (eventSource_) DeregisterEventSource(eventSource_);
    if (messageModule_) FreeLibrary(messageModule_);
  }
  EventLogSink(const EventLogSink&) = delete;
  EventLogSink& operator=(const EventLogSink&) = delete;

  bool write(const EventRecord& record) override {
    if (!eventSource_) return false;
    // A report never changes the cause a failing caller leaves for its host.
    LastErrorKeeper keep;
    return ReportEventA(eventSource_, record.type, /*wCategory=*/0, record.id,
                        /*lpUserSid=*/nullptr, static_cast<WORD>(record.insertCount),
                        /*dwDataSize=*/0, const_cast<const char**>(record.inserts),
                        /*lpRawData=*/nullptr) != FALSE;
  }

 private:
  HANDLE eventSource_;
  HMODULE messageModule_;
};

}  // namespace

EventSink* makeEventLogSink(HANDLE eventSource, HMODULE messageModule) {
  return new (std::nothrow) EventLogSink(eventSource, messageModule);
}

EventSink* openSystemLog(const char* sourceName) {
  const HANDLE source = RegisterEventSourceA(/*lpUNCServerName=*/nullptr, sourceName);
  if (!source) return nullptr;
  EventSink* sink = makeEventLogSink(source, /*messageModule=*/nullptr);
  if (!sink) DeregisterEventSource(source);
  return sink;
}

void closeSystemLog(EventSink* sink) {
  delete sink;
}

}  // namespace pw
