// What the module's process attach leaves in the registry, and how it carries on without it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "host.h"

namespace {

constexpr char kApplicationKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application";

std::string freshSourceKey(const std::string& source) {
  std::string key = std::string(kApplicationKey) + "\\" + source;
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
  return key;
}

// A value of the key as it is stored; empty when it cannot be read.
std::string value(const std::string& key, const char* name, DWORD* type) {
  char data[MAX_PATH + 16] = {};
  DWORD size = sizeof data;
  return RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, type, data,
                      &size) == ERROR_SUCCESS
             ? std::string(data, size)
             : std::string();
}

// The source is the file name without its last extension. The registry's ANSI functions convert
// key names in a buffer of MAX_PATH (260) characters: after the 55 of the prefix, 205 characters
// of source name register.
TEST(Registry, LoadingWritesTheSourceKey) {
  const std::string longest(205, 'L');
  const std::pair<std::string, std::string> modules[] = {{"Pagewright.dll", "Pagewright"},
                                                         {"Fax.Renderer.dll", "Fax.Renderer"},
                                                         {longest + ".dll", longest}};
  for (const auto& [fileName, source] : modules) {
    SCOPED_TRACE(source);
    const std::string key = freshSourceKey(source);
    const host::Module module = host::load(fileName);
    ASSERT_NE(module.convert, nullptr);
    ASSERT_NE(module.setLogging, nullptr);
    char path[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameA(module.handle, path, MAX_PATH), 0u);
    // The DLL's own path as its message file, three event types.
    DWORD type = 0;
    EXPECT_EQ(value(key, "EventMessageFile", &type), std::string(path, std::strlen(path) + 1));
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(value(key, "TypesSupported", &type), std::string("\7\0\0\0", 4));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  }
  EXPECT_TRUE(host::events.empty());

  // The module holds a reference on itself as its message file, so a host's FreeLibrary does not
  // unload it: process detach comes at process exit.
  const host::Module module = host::load();
  module.setLogging(0xFFFFFFFFu);
  EXPECT_TRUE(FreeLibrary(module.handle));
  EXPECT_TRUE(FreeLibrary(module.handle));
  EXPECT_EQ(GetModuleHandleA(host::work("Pagewright.dll").c_str()), module.handle);
}

// The registry refuses the key: the module loads and converts all the same, and leaves one error
// event, id 0, with its path; its later reports go nowhere.
void expectFallback(const std::string& source) {
  const std::string key = freshSourceKey(source);
  const std::string fileName = source + ".dll";
  host::events.clear();
  const host::Module module = host::load(fileName);
  ASSERT_NE(module.convert, nullptr);
  EXPECT_EQ(value(key, "TypesSupported", nullptr), "");
  const host::Event fallback{EVENTLOG_ERROR_TYPE, 0, 0, {host::work(fileName)}};
  EXPECT_EQ(host::events, std::vector<host::Event>{fallback});
  const RenderParams params = host::a4Page();
  const HDC dc = CreateCompatibleDC(nullptr);
  uint32_t pages = 7;
  EXPECT_EQ(module.convert(&params, dc, "C:\\missing-file.txt", 0, nullptr, &pages), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(pages, 0u);
  DeleteDC(dc);
  EXPECT_EQ(host::events.size(), 1u);
}

// A source name one character too long, and a registry the host may not write: Wine refuses a
// lasting key below a volatile one (ERROR_CHILD_MUST_BE_VOLATILE).
TEST(Registry, ARefusedKeyLeavesOneFallbackEvent) {
  expectFallback(std::string(206, 'L'));
  HKEY key = nullptr;
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationKey);
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kApplicationKey, 0, nullptr, REG_OPTION_VOLATILE,
                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegCloseKey(key);
  expectFallback("Pagewright");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationKey);
  RegCreateKeyA(HKEY_LOCAL_MACHINE, kApplicationKey, &key);
  RegCloseKey(key);
}

}  // namespace
