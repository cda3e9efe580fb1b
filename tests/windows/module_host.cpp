// Loads Pagewright.dll as a host does and checks what its start-up left in the registry.
//
//   module_host register <dll> <source name>   the key is written afresh on load, with the DLL's
//                                                own path as its message file
//   module_host unwritable <dll> <source name>  with the registry refusing the key, the DLL still
//                                                loads and converts (the fallback event is checked
//                                                from Wine's event-log trace by the script)
//   module_host refused <dll> <source name>     the same for a key the registry refuses by itself
#include <windows.h>

#include <cstring>
#include <string>

#include "host_check.h"

namespace {

constexpr char kApplicationKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";
// The module builds the key name in 300 characters with its NUL: 55 for the prefix, so that at
// most 244 of the source name reach the registry.
constexpr std::size_t kMaxKeyName = 299;

std::string sourceKey(const char* sourceName) {
  std::string key = std::string(kApplicationKey) + "\\" + sourceName;
  if (key.size() > kMaxKeyName) key.resize(kMaxKeyName);
  return key;
}

bool keyExists(const std::string& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(opened);
  return true;
}

int registerCheck(const char* dllPath, const char* sourceName) {
  const std::string key = sourceKey(sourceName);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  CHECK(!keyExists(key));

  const host::Module module = host::loadModule(dllPath);
  if (!CHECK(module.handle != nullptr)) return host::finish("module_host register");
  CHECK(module.convert != nullptr);
  CHECK(module.setLogging != nullptr);
  char modulePath[MAX_PATH] = {};
  CHECK(GetModuleFileNameA(module.handle, modulePath, MAX_PATH) > 0);
  host::note("loaded %s", modulePath);

  HKEY opened = nullptr;
  if (CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) ==
            ERROR_SUCCESS)) {
    char data[MAX_PATH + 16] = {};
    DWORD type = 0;
    DWORD size = sizeof data;
    CHECK(RegQueryValueExA(opened, "EventMessageFile", nullptr, &type,
                           reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS);
    CHECK_EQ(type, REG_EXPAND_SZ);
    CHECK_EQ(size, std::strlen(modulePath) + 1);
    CHECK_TEXT(std::string(data), std::string(modulePath));

    DWORD types = 0;
    size = sizeof types;
    CHECK(RegQueryValueExA(opened, "TypesSupported", nullptr, &type,
                           reinterpret_cast<BYTE*>(&types), &size) == ERROR_SUCCESS);
    CHECK_EQ(type, REG_DWORD);
    CHECK_EQ(size, 4);
    CHECK_EQ(types, 7);
    RegCloseKey(opened);
  }

  // The mask is stored and nothing else changes; both extremes are harmless.
  if (module.setLogging) {
    module.setLogging(0xFFFFFFFFu);
    module.setLogging(0);
  }

  // The module holds a reference on itself as its message file, so a host's FreeLibrary does not
  // unload it: process detach comes at process exit.
  CHECK(FreeLibrary(module.handle));
  CHECK(GetModuleHandleA(modulePath) == module.handle);
  return host::finish("module_host register");
}

// The module loads, writes no key and still converts; its reports go nowhere.
void checkLoadsUnregistered(const char* dllPath, const std::string& key) {
  const host::Module module = host::loadModule(dllPath);
  CHECK(module.handle != nullptr);
  CHECK(!keyExists(key));
  if (CHECK(module.convert != nullptr)) {
    RenderParams params{};
    uint32_t pages = 7;
    const HDC dc = CreateCompatibleDC(nullptr);
    SetLastError(0);
    CHECK_EQ(module.convert(&params, dc, "C:\\missing-file.txt", 0, nullptr, &pages), 0);
    CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    CHECK_EQ(pages, 0);
    DeleteDC(dc);
  }
}

// A source name too long for the registry's ANSI functions (which convert the key name in a
// buffer of MAX_PATH characters) is refused like any other registry failure.
int refusedCheck(const char* dllPath, const char* sourceName) {
  const std::string key = sourceKey(sourceName);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  checkLoadsUnregistered(dllPath, key);
  return host::finish("module_host refused");
}

// Wine refuses a lasting key below a volatile one (ERROR_CHILD_MUST_BE_VOLATILE), which stands in
// for a registry the host may not write. The Application key is put back afterwards.
int unwritableCheck(const char* dllPath, const char* sourceName) {
  const std::string key = sourceKey(sourceName);
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationKey);
  HKEY application = nullptr;
  if (!CHECK(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kApplicationKey, 0, nullptr, REG_OPTION_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, &application, nullptr) == ERROR_SUCCESS)) {
    return host::finish("module_host unwritable");
  }
  RegCloseKey(application);
  HKEY probe = nullptr;
  const LONG refused = RegCreateKeyA(HKEY_LOCAL_MACHINE, (key + "-probe").c_str(), &probe);
  if (probe) RegCloseKey(probe);
  CHECK_EQ(refused, ERROR_CHILD_MUST_BE_VOLATILE);

  checkLoadsUnregistered(dllPath, key);

  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationKey);
  HKEY restored = nullptr;
  CHECK(RegCreateKeyA(HKEY_LOCAL_MACHINE, kApplicationKey, &restored) == ERROR_SUCCESS);
  if (restored) RegCloseKey(restored);
  return host::finish("module_host unwritable");
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "register" && argc == 4) return registerCheck(argv[2], argv[3]);
  if (command == "unwritable" && argc == 4) return unwritableCheck(argv[2], argv[3]);
  if (command == "refused" && argc == 4) return refusedCheck(argv[2], argv[3]);
  std::fprintf(stderr, "usage: see the comment at the top of module_host.cpp\n");
  return 2;
}
