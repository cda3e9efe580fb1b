#include "eventlog/event_reporter.h"

#include <cstdio>
#include <new>

#include "eventlog/message_table.h"
#include "platform/last_error.h"

namespace pw {

namespace {
constexpr const char* kNullInsert = "null";
}  // namespace

EventReporter& moduleReporter() {
  static EventReporter reporter;
  // Referencing the platform's start-up from here also links it into static builds.
  static const bool started = (startModule(reporter), true);
  (void)started;
  return reporter;
}

bool EventReporter::open(const char* sourceName, uint32_t category) {
  levelMask_ = 0;
  close();
  adopt(openSystemLog(sourceName), category);
  return eventSource_ != nullptr;
}

void EventReporter::adopt(EventSink* source, uint32_t category) {
  if (EventSink* earlier = eventSource_.exchange(source)) closeSystemLog(earlier);
  category_ = category;
}

void EventReporter::close() {
  if (EventSink* source = eventSource_.exchange(nullptr)) closeSystemLog(source);
  category_ = 0;
}

void EventReporter::setHostSink(EventSink* sink) {
  hostSink_ = sink;
}

void errorText(uint32_t code, char* buffer, std::size_t size) noexcept {
  if (code != 0) {
    try {
      const std::string text = systemErrorText(code);
      if (!text.empty()) {
        std::snprintf(buffer, size, "%s", text.c_str());
        return;
      }
    } catch (const std::bad_alloc&) {
      // Without memory for the system's text, the number stands in for it.
    }
  }
  std::snprintf(buffer, size, "error %d", static_cast<int32_t>(code));
}

std::string errorText(uint32_t code) {
  char buffer[kMaxErrorText];
  errorText(code, buffer, sizeof buffer);
  return buffer;
}

void formatMessage(uint32_t id, const char* const* inserts, uint32_t count, char* out,
                   std::size_t size) noexcept {
  if (size == 0) return;
  std::size_t used = 0;
  auto put = [&](char c) {
    if (used + 1 < size) out[used++] = c;
  };
  if (const char* text = messageText(id)) {
    for (const char* p = text; *p; ++p) {
      if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
        const uint32_t index = static_cast<uint32_t>(p[1] - '1');
        if (index < count) {
          for (const char* insert = inserts[index]; *insert; ++insert) put(*insert);
          ++p;
          continue;
        }
      }
      put(*p);
    }
  }
  out[used] = '\0';
}

int EventReporter::reportEvent(uint32_t id, const char** inserts, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    if (!inserts[i] || !*inserts[i]) inserts[i] = kNullInsert;
  }
  EventSink* sink = hostSink_.load();
  if (!sink) sink = eventSource_.load();
  if (!sink) return 0;
  char text[kMaxEventText];
  formatMessage(id, inserts, count, text, sizeof text);
  EventRecord record;
  record.id = id;
  record.type = eventTypeOf(id);
  record.inserts = inserts;
  record.insertCount = count;
  record.text = text;
  return sink->write(record) ? 1 : 0;
}

int EventReporter::reportWith(uint32_t id, const char** inserts, uint32_t count) {
  reportEvent(id, count ? inserts : nullptr, count);
  return 0;
}

int EventReporter::report(uint32_t id) {
  return reportWith(id, nullptr, 0);
}

int EventReporter::report(uint32_t id, const char* insert1) {
  const char* inserts[] = {insert1};
  return reportWith(id, inserts, 1);
}

int EventReporter::report(uint32_t id, const char* insert1, const char* insert2) {
  const char* inserts[] = {insert1, insert2};
  return reportWith(id, inserts, 2);
}

int EventReporter::report(uint32_t id, const char* insert1, const char* insert2,
                          const char* insert3) {
  const char* inserts[] = {insert1, insert2, insert3};
  return reportWith(id, inserts, 3);
}

int EventReporter::report(uint32_t id, const char* insert1, const char* insert2,
                          const char* insert3, const char* insert4) {
  const char* inserts[] = {insert1, insert2, insert3, insert4};
  return reportWith(id, inserts, 4);
}

int EventReporter::reportErrorWith(uint32_t id, const char** inserts, uint32_t count,
                                   uint32_t code) {
  char text[kMaxErrorText];
  errorText(code, text, sizeof text);
  inserts[count] = text;
  reportEvent(id, inserts, count + 1);
  return failWith(code);
}

int EventReporter::reportError(uint32_t id, uint32_t code) {
  const char* inserts[1] = {};
  return reportErrorWith(id, inserts, 0, code);
}

int EventReporter::reportError(uint32_t id, const char* insert1, uint32_t code) {
  const char* inserts[2] = {insert1};
  return reportErrorWith(id, inserts, 1, code);
}

int EventReporter::reportError(uint32_t id, const char* insert1, const char* insert2,
                               uint32_t code) {
  const char* inserts[3] = {insert1, insert2};
  return reportErrorWith(id, inserts, 2, code);
}

void EventReporter::reportIfEnabled(uint32_t level, uint32_t id, uint32_t insertCount,
                                    const char* insert1, const char* insert2, const char* insert3,
                                    const char* insert4) {
  if (!(level & levelMask_)) return;
  const char* inserts[] = {insert1, insert2, insert3, insert4};
  reportWith(id, inserts, insertCount > 4 ? 4 : insertCount);
}

void EventReporter::reportErrorIfEnabled(uint32_t level, uint32_t id, uint32_t code,
                                         uint32_t insertCount, const char* insert1,
                                         const char* insert2) {
  if (!(level & levelMask_)) return;
  const char* inserts[3] = {insert1, insert2};
  reportErrorWith(id, inserts, insertCount > 2 ? 2 : insertCount, code);
}

}  // namespace pw
