// A few checks for the Windows test hosts, which run under Wine without a test framework: each
// failed check prints what it compared, and the host's exit code counts the failures.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "pagewright/pagewright.h"

namespace host {

inline int failures = 0;

inline void note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

inline bool check(bool ok, const char* what, const char* file, int line) {
  if (!ok) {
    ++failures;
    std::printf("FAIL %s:%d: %s\n", file, line, what);
    std::fflush(stdout);
  }
  return ok;
}

inline bool checkEqual(unsigned long long actual, unsigned long long expected, const char* what,
                       const char* file, int line) {
  if (actual == expected) return true;
  ++failures;
  std::printf("FAIL %s:%d: %s is %llu (0x%llx), expected %llu (0x%llx)\n", file, line, what, actual,
              actual, expected, expected);
  std::fflush(stdout);
  return false;
}

inline bool checkText(const std::string& actual, const std::string& expected, const char* what,
                      const char* file, int line) {
  if (actual == expected) return true;
  ++failures;
  std::printf("FAIL %s:%d: %s is \"%s\", expected \"%s\"\n", file, line, what, actual.c_str(),
              expected.c_str());
  std::fflush(stdout);
  return false;
}

inline int finish(const char* host) {
  std::printf("%s: %s (%d failure%s)\n", host, failures ? "FAILED" : "passed", failures,
              failures == 1 ? "" : "s");
  return failures ? 1 : 0;
}

// The DLL's exports, found by name as a host that loads it at run time finds them.
using PagewrightFn = decltype(&pagewright);
using SetLoggingFn = decltype(&setLogging);

struct Module {
  HMODULE handle = nullptr;
  PagewrightFn convert = nullptr;
  SetLoggingFn setLogging = nullptr;
};

inline Module loadModule(const char* path) {
  Module module;
  module.handle = LoadLibraryA(path);
  if (!module.handle) return module;
  module.convert = reinterpret_cast<PagewrightFn>(
      reinterpret_cast<void*>(GetProcAddress(module.handle, "pagewright")));
  module.setLogging = reinterpret_cast<SetLoggingFn>(
      reinterpret_cast<void*>(GetProcAddress(module.handle, "setLogging")));
  return module;
}

}  // namespace host

#define CHECK(condition) ::host::check((condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected)                            \
  ::host::checkEqual(static_cast<unsigned long long>(actual), \
                     static_cast<unsigned long long>(expected), #actual, __FILE__, __LINE__)
#define CHECK_TEXT(actual, expected) \
  ::host::checkText((actual), (expected), #actual, __FILE__, __LINE__)
