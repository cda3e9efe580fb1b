#include "interruption.h"

#include <pthread.h>

#include <csignal>
#include <cstdlib>
#include <thread>

#include "pagewright/fax_device.h"

namespace pw::cli {

namespace {

constexpr int kExitSignalBase = 128;
constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

}  // namespace

void leaveAsIfSignalled(int signal) {
  pwAbandonAllFaxOutputs();
  // Other threads may be anywhere, holding any lock: no destructors, no atexit handlers.
  std::_Exit(kExitSignalBase + signal);
}

void handleInterruptions() {
  std::signal(SIGXFSZ, SIG_IGN);
  sigset_t awaited;
  sigemptyset(&awaited);
  for (const int signal : kInterruptions) {
    struct sigaction current {};
    // A signal ignored by whoever started the command (nohup) stays ignored.
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    sigaddset(&awaited, signal);
  }
  if (sigisemptyset(&awaited)) return;
  pthread_sigmask(SIG_BLOCK, &awaited, nullptr);
  // A write to a pipe without reader now fails with EPIPE in the writing thread; where that
  // matters (the fax on standard output), the writer leaves as SIGPIPE would.
  std::thread([awaited] {
    int signal = 0;
    while (sigwait(&awaited, &signal) != 0) {
    }
    leaveAsIfSignalled(signal);
  }).detach();
}

}  // namespace pw::cli
