// Module start-up on POSIX: the library's load stands where a DLL's process attach would. There is
// no registry here, so opening the system log under the module's name is all that registering an
// event source amounts to. Unload needs no hook of its own: the reporter is a static object whose
// destruction closes the log.
#include <dlfcn.h>
#include <errno.h>

#include "eventlog/event_reporter.h"
#include "platform/posix/module_name.h"

namespace pw {

namespace {

constexpr uint32_t kEventCategory = 4081;

// A shared library opens its log when it is loaded, before any report can be made.
__attribute__((constructor)) void moduleLoaded() {
  moduleReporter();
}

}  // namespace

std::string eventSourceNameOf(const std::string& modulePath) {
  std::string name = modulePath.substr(modulePath.find_last_of('/') + 1);
  const std::size_t so = name.find(".so");
  if (so != std::string::npos) {
    name.erase(so);
    if (name.rfind("lib", 0) == 0) name.erase(0, 3);
  }
  return name.empty() ? std::string("pagewright") : name;
}

void startModule(EventReporter& reporter) {
  // The file holding this code: the shared library, or the executable of a static build.
  Dl_info info{};
  std::string path;
  if (dladdr(reinterpret_cast<void*>(&eventSourceNameOf), &info) && info.dli_fname) {
    path = info.dli_fname;
  }
  if (path.empty()) path = program_invocation_name;
  reporter.open(eventSourceNameOf(path).c_str(), kEventCategory);
}

}  // namespace pw
