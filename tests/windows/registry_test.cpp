// What the module's process attach leaves in the registry, and how it carries on without it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "host.h"

namespace {

constexpr char kApplicationKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

std::string sourceKey(const std::string& source) {
  std::string key = std::string(kApplicationKey) + "\\" + source;
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  return key;
}

// Loading the module copied to fileName writes its source's key afresh: the DLL's own path as
// its message file, three event types.
void expectRegistered(const std::string& fileName, const std::string& source) {
  const std::string key = sourceKey(source);
  const host::Module module = host::load(fileName);
  ASSERT_NE(module.handle, nullptr);
  ASSERT_NE(module.convert, nullptr);
  ASSERT_NE(module.setLogging, nullptr);
  char path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(module.handle, path, MAX_PATH), 0u);

  char file[MAX_PATH + 16] = {};
  DWORD types = 0;
  DWORD type = 0;
  DWORD size = sizeof file;
  EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "EventMessageFile",
                         RRF_RT_ANY | RRF_NOEXPAND, &type, file, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(size, std::strlen(path) + 1);
  EXPECT_STREQ(file, path);
  size = sizeof types;
  EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TypesSupported", RRF_RT_ANY, &type,
                         &types, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(types, 7u);
  EXPECT_TRUE(host::events.empty());

  // An event viewer formats the module's entries from the message file the key names, in US
  // English (check_dll.sh checks every message of both DLLs' tables).
  const HMODULE messages = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const char* const inserts[] = {"a.txt", "gone"};
  char text[64] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages, 0xC0006D74,
                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text,
                 reinterpret_cast<va_list*>(const_cast<char**>(inserts)));
  EXPECT_STREQ(text, "Cannot open a.txt: gone\r\n");
  FreeLibrary(messages);
}

// The registry refuses the key: the module loads and converts all the same, and leaves one error
// event, id 0, with its path; its later reports go nowhere.
void expectFallback(const std::string& fileName, const std::string& source) {
  const std::string key = sourceKey(source);
  const host::Module module = host::load(fileName);
  ASSERT_NE(module.convert, nullptr);
  EXPECT_NE(RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TypesSupported", RRF_RT_ANY, nullptr,
                         nullptr, nullptr),
            ERROR_SUCCESS);
  const host::Event fallback{EVENTLOG_ERROR_TYPE, 0, 0, {host::work(fileName)}};
  EXPECT_EQ(host::events, std::vector<host::Event>{fallback});

  const RenderParams params = host::a4Page();
  const HDC dc = CreateCompatibleDC(nullptr);
  uint32_t pages = 7;
  SetLastError(0);
  EXPECT_EQ(module.convert(&params, dc, "C:\\missing-file.txt", 0, nullptr, &pages), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(pages, 0u);
  DeleteDC(dc);
  EXPECT_EQ(host::events.size(), 1u);
}

TEST(Registry, LoadingWritesTheSourceKey) {
  expectRegistered("Pagewright.dll", "Pagewright");
  const host::Module module = host::load();
  // The mask is stored and nothing else changes; both extremes are harmless.
  module.setLogging(0xFFFFFFFFu);
  module.setLogging(0);
  // The module holds a reference on itself as its message file, so a host's FreeLibrary does not
  // unload it: process detach comes at process exit.
  EXPECT_TRUE(FreeLibrary(module.handle));
  EXPECT_TRUE(FreeLibrary(module.handle));
  EXPECT_EQ(GetModuleHandleA(host::work("Pagewright.dll").c_str()), module.handle);
}

TEST(Registry, TheSourceIsTheFileNameWithoutItsLastExtension) {
  expectRegistered("Fax.Renderer.dll", "Fax.Renderer");
}

// The registry's ANSI functions convert key names in a buffer of MAX_PATH (260) characters: after
// the 55 of the prefix, 205 characters of source name register and 206 are refused.
TEST(Registry, SourceNamesReachTheAnsiKeyLimit) {
  const std::string longest(205, 'L');
  expectRegistered(longest + ".dll", longest);
  expectFallback(longest + "M.dll", longest + "M");
}

// Wine refuses a lasting key below a volatile one (ERROR_CHILD_MUST_BE_VOLATILE), which stands in
// for a registry the host may not write.
TEST(Registry, AnUnwritableRegistryLeavesOneFallbackEvent) {
  struct VolatileApplicationKey {
    VolatileApplicationKey() {
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationKey);
      HKEY key = nullptr;
      RegCreateKeyExA(HKEY_LOCAL_MACHINE, kApplicationKey, 0, nullptr, REG_OPTION_VOLATILE,
                      KEY_ALL_ACCESS, nullptr, &key, nullptr);
      RegCloseKey(key);
    }
    ~VolatileApplicationKey() {
      RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationKey);
      HKEY key = nullptr;
      RegCreateKeyA(HKEY_LOCAL_MACHINE, kApplicationKey, &key);
      RegCloseKey(key);
    }
  } application;
  HKEY probe = nullptr;
  EXPECT_EQ(RegCreateKeyA(HKEY_LOCAL_MACHINE, sourceKey("Probe").c_str(), &probe),
            ERROR_CHILD_MUST_BE_VOLATILE);
  expectFallback("Pagewright.dll", "Pagewright");
}

}  // namespace
