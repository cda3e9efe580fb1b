// The Windows event log as the reporter's event source.
#pragma once

#include <windows.h>

#include "eventlog/event_sink.h"

namespace pw {

/// An event source for the reporter: reports go to ReportEventA on eventSource, and are refused
/// while it is null. Closing it (closeSystemLog) deregisters eventSource and frees messageModule,
/// the module loaded as the source's message file; either may be null. Null when out of memory,
/// in which case nothing is released.
EventSink* makeEventLogSink(HANDLE eventSource, HMODULE messageModule);

}  // namespace pw
