// Module start-up on POSIX: the library's load and unload stand where a DLL's process attach and
// detach would. There is no registry here, so opening the system log under the module's name is
// all that registering an event source amounts to.
#include <dlfcn.h>
#include <errno.h>

#include <string>

#include "eventlog/event_reporter.h"

namespace pw {

namespace {

constexpr uint32_t kEventCategory = 4081;

// "…/libpagewright.so.1" names the source "pagewright"; a static build inside an executable takes
// the executable's name.
std::string eventSourceName() {
  Dl_info info{};
  std::string path;
  if (dladdr(reinterpret_cast<void*>(&eventSourceName), &info) && info.dli_fname) {
    path = info.dli_fname;
  }
  if (path.empty()) path = program_invocation_name;
  std::string name = path.substr(path.find_last_of('/') + 1);
  const std::size_t so = name.find(".so");
  if (so != std::string::npos) {
    name.erase(so);
    if (name.rfind("lib", 0) == 0) name.erase(0, 3);
  }
  return name.empty() ? std::string("pagewright") : name;
}

__attribute__((constructor)) void moduleLoaded() {
  moduleReporter().open(eventSourceName().c_str(), kEventCategory);
}

// Unload needs no hook of its own: the reporter is a static object whose destruction at unload
// closes the log.

}  // namespace

}  // namespace pw
