// Module start-up on Windows: the event source named after the module file, its registry entry
// and the handles the reporter holds from process attach to process detach.
#pragma once

#include <windows.h>

#include <cstdint>

#include "eventlog/event_reporter.h"

namespace pw {

/// The category DllMain passes to initialise; stored by the reporter, read by nobody.
inline constexpr uint32_t kModuleEventCategory = 4081;

/// The registry key of every event source of the Application log, followed by the source name.
inline constexpr char kEventSourceKeyPrefix[] =
    "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

/// Registers sourceName as an event source whose message file is messageFile and opens it:
/// resets the level mask and closes the reporter, loads messageFile as a module (giving up at once
/// when that fails), writes EventMessageFile (REG_EXPAND_SZ, the path) and TypesSupported
/// (REG_DWORD 7) under HKEY_LOCAL_MACHINE, and only when both were written opens the source. The
/// reporter keeps the loaded module and the source (null when it could not be opened) until its
/// next close. Returns 1 when the key and both values were written, else 0.
int registerSource(EventReporter& reporter, const char* sourceName, const char* messageFile,
                   uint32_t category);

/// Registers the module as the event source named after its file (the name without directory and
/// last extension) with itself as the message file. When that fails, writes one error event with
/// id 0 and the module's path under that name, without keeping the source. Returns 1 when the
/// registration succeeded, else 0.
int initialise(EventReporter& reporter, HMODULE module, uint32_t category);

}  // namespace pw
