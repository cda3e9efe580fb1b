// The module's entry point: process attach registers the event source, process detach closes
// the reporter.
#include <windows.h>

#include "eventlog/event_reporter.h"
#include "eventlog/event_source_win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      pw::initialise(pw::moduleReporter(), instance, pw::kModuleEventCategory);
      break;
    case DLL_PROCESS_DETACH:
      pw::moduleReporter().close();
      break;
    default:
      break;
  }
  // The module loads even when nothing could be registered.
  return TRUE;
}
