// Leaving on a signal without leaving anything behind.
#pragma once

namespace pw::cli {

/// Makes SIGINT, SIGTERM, SIGHUP and SIGPIPE (those not ignored when the command started) end
/// the process with status 128 + the signal once the fax devices' temporary files are removed,
/// and makes exceeding the file-size limit fail the write ("File too large") rather than kill
/// the process. The signals are blocked in the calling thread, whose mask every thread started
/// later inherits, and awaited on a thread of their own: call it before any other thread starts.
void handleInterruptions();

/// Removes the temporary files and ends the process with status 128 + signal, as
/// handleInterruptions does when that signal arrives.
[[noreturn]] void leaveAsIfSignalled(int signal);

}  // namespace pw::cli
