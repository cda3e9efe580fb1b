// The C interface for hosts without Win32: the exports, the thread's last-error value, callback
// surfaces and the event sink.
#include <memory>
#include <mutex>

#include "api/export_guard.h"
#include "api/surface_handle.h"
#include "converter/converter.h"
#include "converter/read_confinement.h"
#include "eventlog/event_reporter.h"
#include "platform/last_error.h"
#include "surface/callback_surface.h"

namespace pw {

namespace {

// Forwards reports to the host's callback; the pair is swapped under a lock so that a report on
// another thread never sees a sink with someone else's user pointer.
class CallbackSink final : public EventSink {
 public:
  void set(PwEventSink sink, void* user) {
    std::lock_guard lock(mutex_);
    sink_ = sink;
    user_ = user;
  }

  bool write(const EventRecord& record) override {
    PwEventSink sink;
    void* user;
    {
      std::lock_guard lock(mutex_);
      sink = sink_;
      user = user_;
    }
    if (!sink) return false;
    sink(user, record.id, record.type, record.inserts, record.insertCount, record.text);
    return true;
  }

 private:
  std::mutex mutex_;
  PwEventSink sink_ = nullptr;
  void* user_ = nullptr;
};

CallbackSink& callbackSink() {
  static CallbackSink sink;
  return sink;
}

}  // namespace

}  // namespace pw

using namespace pw;

extern "C" {

PW_API int pagewright(const RenderParams* params, PwDC dc, const char* textPath,
                      uint32_t reservedArg, const JobFields* fields, uint32_t* pageCountOut) {
  if (pageCountOut) *pageCountOut = 0;
  return guardExport(
      "pagewright", 0,
      [&] {
        if (!dc || !dc->surface) return failWith(kErrorInvalidParameter);
        return convertText(params, dc->surface.get(), textPath, reservedArg, fields, pageCountOut);
      },
      textPath);
}

PW_API void setLogging(uint32_t mask) {
  guardExport("setLogging", [&] { moduleReporter().setLevelMask(mask); });
}

PW_API uint32_t pwGetLastError(void) {
  return guardExport("pwGetLastError", uint32_t{kErrorOutOfMemory}, [] { return lastError(); });
}

PW_API void pwSetLastError(uint32_t code) {
  guardExport("pwSetLastError", [&] { setLastError(code); });
}

PW_API PwSurface* pwCreateSurface(const PwSurfaceOps* ops, void* user) {
  return guardExport("pwCreateSurface", static_cast<PwSurface*>(nullptr), [&]() -> PwSurface* {
    if (!ops || !CallbackSurface::complete(*ops)) {
      return failNull(kErrorInvalidParameter);
    }
    auto surface = std::make_unique<PwSurface>();
    surface->surface = std::make_unique<CallbackSurface>(*ops, user);
    return surface.release();
  });
}

PW_API void pwDestroySurface(PwSurface* surface) {
  guardExport("pwDestroySurface", [&] { delete surface; });
}

PW_API int pwSetReadableDirectories(const char* const* directories, uint32_t count) {
  return guardExport("pwSetReadableDirectories", 0, [&] {
    if (!setReadableDirectories(directories, count)) return 0;
    setLastError(kErrorSuccess);
    return 1;
  });
}

PW_API void pwSetEventSink(PwEventSink sink, void* user) {
  guardExport("pwSetEventSink", [&] {
    callbackSink().set(sink, user);
    moduleReporter().setHostSink(sink ? &callbackSink() : nullptr);
  });
}

}  // extern "C"
