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
    char file[MAX_PATH + 16] = {};
    DWORD type = 0;
    DWORD size = sizeof file;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "EventMessageFile",
                           RRF_RT_ANY | RRF_NOEXPAND, &type, file, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
    EXPECT_EQ(std::string(file, size), std::string(path, std::strlen(path) + 1));
    DWORD types = 0;
    size = sizeof types;
    EXPECT_EQ(RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "TypesSupported", RRF_RT_DWORD, nullptr,
                           &types, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(types, 7u);
  }
  EXPECT_TRUE(host::events.empty());

  // An event viewer formats the module's entries from that message file, in US English
  // (check_dll.sh checks every message of both DLLs' tables).
  const HMODULE messages =
      LoadLibraryExA(host::work("Pagewright.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const char* const inserts[] = {"a.txt", "gone"};
  char text[64] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, messages, 0xC0006D74,
                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text,
                 reinterpret_cast<va_list*>(const_cast<char**>(inserts)));
  EXPECT_STREQ(text, "Cannot open a.txt: gone\r\n");
  FreeLibrary(messages);

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
void expectFallback(const std::string& fileName, const std::string& source) {
  const std::string key = freshSourceKey(source);
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
  EXPECT_EQ(module.convert(&params, dc, "C:\\missing-file.txt", 0, nullptr, &pages), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(pages, 0u);
  DeleteDC(dc);
  EXPECT_EQ(host::events.size(), 1u);
}

// A source name one character too long, and a registry the host may not write: Wine refuses a
// lasting key below a volatile one (ERROR_CHILD_MUST_BE_VOLATILE).
TEST(Registry, ARefusedKeyLeavesOneFallbackEvent) {
  expectFallback(std::string(206, 'L') + ".dll", std::string(206, 'L'));
  host::events.clear();
  HKEY key = nullptr;
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationKey);
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, kApplicationKey, 0, nullptr, REG_OPTION_VOLATILE,
                  KEY_ALL_ACCESS, nullptr, &key, nullptr);
  RegCloseKey(key);
  expectFallback("Pagewright.dll", "Pagewright");
  RegDeleteTreeA(HKEY_LOCAL_MACHINE, kApplicationKey);
  RegCreateKeyA(HKEY_LOCAL_MACHINE, kApplicationKey, &key);
  RegCloseKey(key);
}

}  // namespace
