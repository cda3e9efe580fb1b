// The event source on POSIX: there is no registry here, so opening the system log under the
// module's name is all that registering an event source amounts to.
#include <dlfcn.h>
#include <errno.h>

#include "eventlog/event_reporter.h"
#include "eventlog/event_source_name.h"

namespace pw {

namespace {

constexpr uint32_t kEventCategory = 4081;

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
