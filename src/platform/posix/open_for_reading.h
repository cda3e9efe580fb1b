// Opening a file for reading with the causes Windows would give for a failure.
#pragma once

namespace pw {

/// Opens path read-only (close-on-exec, plus extraFlags). Returns the descriptor, or -1 with the
/// last-error value set: 2 file not found, 3 when a directory on the way is missing, 5 for a
/// refused access, 336 for a directory, 32 when a lease held elsewhere blocks the open.
int openForReading(const char* path, int extraFlags = 0);

}  // namespace pw
