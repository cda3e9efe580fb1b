// What the GoogleTest hosts share: the folder that wine_tests.sh setup fills, Pagewright.dll
// loaded as a fax server loads it, and the event-log entries the process writes.
#pragma once

#include <windows.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "pagewright/pagewright.h"

namespace host {

// C:\pw holds the DLLs, the documents and images\ (wine_tests.sh setup).
inline std::string work(const std::string& name) {
  return "C:\\pw\\" + name;
}
inline constexpr char kPrinter[] = "Pagewright PS";

// The exports, found by name as a host that loads the module at run time finds them.
struct Module {
  HMODULE handle = nullptr;
  decltype(&pagewright) convert = nullptr;
  decltype(&setLogging) setLogging = nullptr;
};

template <typename Function>
Function exported(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loads C:\pw\Pagewright.dll, or a copy of it named fileName: a module of its own, whose process
// attach runs in this process.
inline Module load(const std::string& fileName = "Pagewright.dll") {
  const std::string path = work(fileName);
  if (fileName != "Pagewright.dll") CopyFileA(work("Pagewright.dll").c_str(), path.c_str(), FALSE);
  Module module;
  module.handle = LoadLibraryA(path.c_str());
  if (module.handle) {
    module.convert = exported<decltype(&pagewright)>(module.handle, "pagewright");
    module.setLogging = exported<decltype(&setLogging)>(module.handle, "setLogging");
  }
  return module;
}

// One ReportEventA call. Wine's event log stores nothing, so host_setup.cpp sends every call of
// the process, the module's process attach included, to events instead.
struct Event {
  WORD type;
  WORD category;
  DWORD id;
  std::vector<std::string> strings;
  bool operator==(const Event&) const = default;
};
inline std::vector<Event> events;

inline std::ostream& operator<<(std::ostream& out, const Event& event) {
  out << "{type " << event.type << ", category " << event.category << ", id 0x" << std::hex
      << event.id << std::dec;
  for (const std::string& text : event.strings) out << ", \"" << text << "\"";
  return out << "}";
}

// The system's text for an error, as FormatMessageA gives it (with its CR LF).
inline std::string systemText(DWORD error) {
  char text[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                 text, sizeof text, nullptr);
  return text;
}

// Courier New 10 on A4 with 10 mm margins, 15 at the top.
inline RenderParams a4Page() {
  RenderParams params{};
  params.font.lfHeight = 10;
  params.font.lfWeight = FW_NORMAL;
  params.font.lfCharSet = ANSI_CHARSET;
  params.font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
  std::strcpy(params.font.lfFaceName, "Courier New");
  params.pageWidthMm = 210;
  params.pageHeightMm = 297;
  params.topMarginMm = 15;
  params.bottomMarginMm = params.leftMarginMm = params.rightMarginMm = 10;
  return params;
}

}  // namespace host
