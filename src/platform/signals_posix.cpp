#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/signals.hpp"

namespace tavmor {
namespace {

// The signals that end a process by default and that users and service managers send.
constexpr int kTerminating[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// The mask is the thread's own; only the outermost hold on a thread sets and restores it.
thread_local int terminationHolds = 0;
thread_local sigset_t maskBeforeHolds;

// SIGXFSZ's action belongs to the process: the first hold ignores it, the last puts back what
// was there (a parent may have ignored it already).
std::mutex fileSizeMutex;
int fileSizeHolds = 0;
struct sigaction fileSizeActionBefore;

// What removeOnTermination removes, unless cancelRemovalOnTermination came first; read by the
// handlers.
std::atomic<const char*> pathToRemove{nullptr};
std::atomic<bool> removalCancelled{false};
static_assert(std::atomic<const char*>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "read in a signal handler");

extern "C" void removeAndEnd(int signal) {
  const char* path = pathToRemove.load();
  if (path != nullptr && !removalCancelled.load()) ::unlink(path);
  // SA_RESETHAND has put back the default action, and the signal stays blocked while this
  // handler runs: raised again, it ends the process as soon as the handler returns.
  ::raise(signal);
}

}  // namespace

SignalHold::SignalHold(HeldSignals held)
    : termination_(held == HeldSignals::kFileSizeLimitAndTermination) {
  {
    const std::lock_guard<std::mutex> lock(fileSizeMutex);
    if (fileSizeHolds++ == 0) {
      struct sigaction ignore {};
      ignore.sa_handler = SIG_IGN;
      ::sigemptyset(&ignore.sa_mask);
      ::sigaction(SIGXFSZ, &ignore, &fileSizeActionBefore);
    }
  }
  if (termination_ && terminationHolds++ == 0) {
    sigset_t terminating;
    ::sigemptyset(&terminating);
    for (const int signal : kTerminating) ::sigaddset(&terminating, signal);
    ::pthread_sigmask(SIG_BLOCK, &terminating, &maskBeforeHolds);
  }
}

SignalHold::~SignalHold() {
  {
    const std::lock_guard<std::mutex> lock(fileSizeMutex);
    if (--fileSizeHolds == 0) ::sigaction(SIGXFSZ, &fileSizeActionBefore, nullptr);
  }
  if (termination_ && --terminationHolds == 0) {
    ::pthread_sigmask(SIG_SETMASK, &maskBeforeHolds, nullptr);
  }
}

void removeOnTermination(const std::string& path) {
  // Never freed: a handler may need it until the process ends. Without memory for it the file
  // merely stays behind, as a quick script's does.
  char* copy = new (std::nothrow) char[path.size() + 1];
  if (copy == nullptr) return;
  std::memcpy(copy, path.c_str(), path.size() + 1);
  pathToRemove.store(copy);
  struct sigaction action {};
  action.sa_handler = removeAndEnd;
  action.sa_flags = SA_RESETHAND;
  ::sigemptyset(&action.sa_mask);
  for (const int signal : kTerminating) ::sigaddset(&action.sa_mask, signal);
  for (const int signal : kTerminating) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) == 0 &&
        current.sa_handler == SIG_DFL) {
      ::sigaction(signal, &action, nullptr);
    }
  }
}

void cancelRemovalOnTermination() { removalCancelled.store(true); }

}  // namespace tavmor
