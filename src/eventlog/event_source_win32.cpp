// The event source's registration at process attach. Every step may fail without keeping the
// module from loading: a host must be able to convert even where the registry is read-only.
#include "eventlog/event_source_win32.h"

#include <cstring>

#include "eventlog/event_log_win32.h"
#include "support/path_string.h"

namespace pw {

namespace {

constexpr DWORD kPathBufferSize = MAX_PATH;
constexpr std::size_t kKeyBufferSize = 300;
constexpr DWORD kTypesSupported =
    EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
static_assert(kTypesSupported == 7);
constexpr DWORD kFallbackEventId = 0;

// Appends source to the key buffer holding text, cut to what the buffer holds with its NUL.
void appendBounded(char* buffer, std::size_t bufferSize, const char* source) {
  const std::size_t used = std::strlen(buffer);
  if (used >= bufferSize || !source) return;
  const std::size_t room = bufferSize - used - 1;
  const std::size_t length = strnlen(source, room);
  std::memcpy(buffer + used, source, length);
  buffer[used + length] = '\0';
}

// Writes both values; false at the first one the registry refuses.
bool writeSourceValues(HKEY key, const char* messageFile) {
  const DWORD pathBytes = static_cast<DWORD>(std::strlen(messageFile) + 1);
  if (RegSetValueExA(key, "EventMessageFile", /*Reserved=*/0, REG_EXPAND_SZ,
                     reinterpret_cast<const BYTE*>(messageFile), pathBytes) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD types = kTypesSupported;
  return RegSetValueExA(key, "TypesSupported", /*Reserved=*/0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&types), sizeof types) == ERROR_SUCCESS;
}

// Leaves a trace under the source's name when it could not be registered: the entry carries the
// module's path, which tells an administrator which file to look at.
void writeFallbackEvent(const char* sourceName, const char* modulePath) {
  const HANDLE source = RegisterEventSourceA(/*lpUNCServerName=*/nullptr, sourceName);
  if (!source) return;
  const char* strings[] = {modulePath};
  ReportEventA(source, EVENTLOG_ERROR_TYPE, /*wCategory=*/0, kFallbackEventId,
               /*lpUserSid=*/nullptr, /*wNumStrings=*/1, /*dwDataSize=*/0, strings,
               /*lpRawData=*/nullptr);
  DeregisterEventSource(source);
}

}  // namespace

int registerSource(EventReporter& reporter, const char* sourceName, const char* messageFile,
                   uint32_t category) {
  reporter.setLevelMask(0);
  reporter.close();
  // Loading the message file keeps its texts available to the reporter's entries; for the
  // module's own path it also holds one more reference on the module until close.
  const HMODULE messageModule = LoadLibraryA(messageFile);
  if (!messageModule) return 0;

  char keyName[kKeyBufferSize] = {};
  appendBounded(keyName, sizeof keyName, kEventSourceKeyPrefix);
  appendBounded(keyName, sizeof keyName, sourceName);

  bool registered = false;
  HKEY key = nullptr;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, keyName, &key) == ERROR_SUCCESS) {
    registered = writeSourceValues(key, messageFile);
    RegCloseKey(key);
  }
  const HANDLE eventSource =
      registered ? RegisterEventSourceA(/*lpUNCServerName=*/nullptr, sourceName) : nullptr;
  EventSink* sink = makeEventLogSink(eventSource, messageModule);
  if (!sink) {
    if (eventSource) DeregisterEventSource(eventSource);
    FreeLibrary(messageModule);
    return 0;
  }
  reporter.adopt(sink, category);
  return registered ? 1 : 0;
}

// The loader starts the module: DllMain's process attach registers the event source.
void startModule(EventReporter&) {}

int initialise(EventReporter& reporter, HMODULE module, uint32_t category) {
  char modulePath[kPathBufferSize] = {};
  const DWORD length = GetModuleFileNameA(module, modulePath, kPathBufferSize);
  // A cut path would register a message file that does not exist; such a module stays
  // unregistered and reports go nowhere.
  if (length == 0 || length >= kPathBufferSize) return 0;

  PathString sourceName(fileNamePart(modulePath));
  sourceName.replaceExtension(nullptr);
  const char* name = sourceName.text() ? sourceName.text() : "";

  const int registered = registerSource(reporter, name, modulePath, category);
  if (!registered) writeFallbackEvent(name, modulePath);
  return registered;
}

}  // namespace pw
