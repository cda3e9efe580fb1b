// The shared library's load stands where a DLL's process attach would: it opens the system log
// before any report can be made. Unload needs no hook: the reporter is a static object whose
// destruction closes the log.
#include "eventlog/event_reporter.h"

namespace {

__attribute__((constructor)) void libraryLoaded() {
  pw::moduleReporter();
}

}  // namespace
