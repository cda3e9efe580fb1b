// The one module-wide reporter through which every problem is reported as a numbered event.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "eventlog/event_sink.h"

namespace pw {

class EventReporter {
 public:
  EventReporter() = default;
  ~EventReporter() { close(); }
  EventReporter(const EventReporter&) = delete;
  EventReporter& operator=(const EventReporter&) = delete;

  /// Opens the event source under sourceName; returns false when the log could not be opened.
  bool open(const char* sourceName, uint32_t category);
  /// Releases the event source; a second close releases nothing.
  void close();
  /// Takes over an event source that the platform's start-up code opened (released with
  /// closeSystemLog), in place of any earlier one, and stores category.
  void adopt(EventSink* source, uint32_t category);

  void setLevelMask(uint32_t mask) { levelMask_ = mask; }
  uint32_t levelMask() const { return levelMask_; }

  /// Routes reports to sink instead of the event source; null restores the event source.
  void setHostSink(EventSink* sink);

  /// Writes one entry, with null or empty inserts logged as "null". Nonzero when it was taken.
  int reportEvent(uint32_t id, const char** inserts, uint32_t count);

  /// Reports with no insert or with one to four inserts; always returns 0.
  int report(uint32_t id);
  int report(uint32_t id, const char* insert1);
  int report(uint32_t id, const char* insert1, const char* insert2);
  int report(uint32_t id, const char* insert1, const char* insert2, const char* insert3);
  int report(uint32_t id, const char* insert1, const char* insert2, const char* insert3,
             const char* insert4);

  /// Reports with the error text of code as the last insert and leaves code as the last-error
  /// value; always returns 0.
  int reportError(uint32_t id, uint32_t code);
  int reportError(uint32_t id, const char* insert1, uint32_t code);
  int reportError(uint32_t id, const char* insert1, const char* insert2, uint32_t code);

  /// The filtered forms: report only when level AND the level mask is nonzero.
  void reportIfEnabled(uint32_t level, uint32_t id, uint32_t insertCount = 0,
                       const char* insert1 = nullptr, const char* insert2 = nullptr,
                       const char* insert3 = nullptr, const char* insert4 = nullptr);
  void reportErrorIfEnabled(uint32_t level, uint32_t id, uint32_t code, uint32_t insertCount = 0,
                            const char* insert1 = nullptr, const char* insert2 = nullptr);

  uint32_t category() const { return category_; }

 private:
  int reportWith(uint32_t id, const char** inserts, uint32_t count);
  int reportErrorWith(uint32_t id, const char** inserts, uint32_t count, uint32_t code);

  uint32_t category_ = 0;
  uint32_t levelMask_ = 0;
  std::atomic<EventSink*> eventSource_ = nullptr;
  std::atomic<EventSink*> hostSink_ = nullptr;
};

/// The module-wide reporter, started (startModule) the first time it is asked for.
EventReporter& moduleReporter();

/// Opens the module's event source where the platform does it at first use (POSIX: the system
/// log under the module's name); where the loader does it (Windows: DllMain), nothing.
void startModule(EventReporter& reporter);

/// Reports are formatted into buffers of these sizes, so that reporting needs no heap; longer
/// texts are cut.
inline constexpr std::size_t kMaxErrorText = 512;
inline constexpr std::size_t kMaxEventText = 4096;

/// The text that reports carry for an error code: the system's text, or "error %d" with the code
/// as a signed number when there is none (always for 0); cut to size.
void errorText(uint32_t code, char* buffer, std::size_t size) noexcept;
std::string errorText(uint32_t code);

/// The message text of id with %1 to %4 replaced by the inserts, cut to size.
void formatMessage(uint32_t id, const char* const* inserts, uint32_t count, char* out,
                   std::size_t size) noexcept;

}  // namespace pw
