// The system log on POSIX: syslog under the event source's name, one line per report carrying the
// event code and the formatted text.
#include <syslog.h>

#include <string>

#include "eventlog/event_sink.h"

namespace pw {

namespace {

class SyslogSink final : public EventSink {
 public:
  explicit SyslogSink(const char* name) : ident_(name ? name : "") {
    // openlog keeps the pointer, so the name lives in the sink until closelog.
    openlog(ident_.c_str(), LOG_PID, LOG_USER);
  }
  ~SyslogSink() override { closelog(); }

  bool write(const EventRecord& record) override {
    int priority = LOG_INFO;
    if (record.type == 1) {
      priority = LOG_ERR;
    } else if (record.type == 2) {
      priority = LOG_WARNING;
    }
    syslog(priority, "event %u: %s", static_cast<unsigned>(record.id & 0xFFFF), record.text);
    return true;
  }

 private:
  std::string ident_;
};

}  // namespace

EventSink* openSystemLog(const char* sourceName) {
  return new SyslogSink(sourceName);
}

void closeSystemLog(EventSink* sink) {
  delete sink;
}

}  // namespace pw
