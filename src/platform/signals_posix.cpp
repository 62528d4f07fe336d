#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/signals.hpp"

namespace tavmor {
namespace {

// The signals that end a process by default and that users and service managers send. Regina
// takes over all but SIGQUIT while the script runs; their removal stays until the process ends.
constexpr int kTerminating[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};

// The other signals that end a process by default and can arrive from outside at any moment
// (not those a fault raises: SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS, SIGABRT), and the
// real-time signals from SIGRTMIN (the C library keeps the two below it for itself). SIGXFSZ
// is ignored instead, so that a write past the file size limit fails.
constexpr int kAlsoTerminating[] = {
    SIGUSR1,   SIGUSR2, SIGPIPE, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPOLL,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

template <typename Each>
void forEachAlsoTerminating(Each each) {
  for (const int signal : kAlsoTerminating) each(signal);
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) each(signal);
}

sigset_t everyTerminating() {
  sigset_t set;
  ::sigemptyset(&set);
  for (const int signal : kTerminating) ::sigaddset(&set, signal);
  forEachAlsoTerminating([&](int signal) { ::sigaddset(&set, signal); });
  return set;
}

// The mask is the thread's own; only the outermost hold on a thread sets and restores it.
thread_local int terminationHolds = 0;
thread_local sigset_t maskBeforeHolds;

// What the signals of kAlsoTerminating and the real-time ones did before removeOnTermination
// gave them its handler: the outermost hold's end puts each back, so that what runs after the
// staging (the interpreter, and what it starts) finds them as the process was started with them.
// Written and read by the holding thread only.
struct sigaction actionsBeforeRemoval[NSIG];
bool removalActionsInstalled[NSIG];

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
    const sigset_t terminating = everyTerminating();
    ::pthread_sigmask(SIG_BLOCK, &terminating, &maskBeforeHolds);
  }
}

SignalHold::~SignalHold() {
  {
    const std::lock_guard<std::mutex> lock(fileSizeMutex);
    if (--fileSizeHolds == 0) ::sigaction(SIGXFSZ, &fileSizeActionBefore, nullptr);
  }
  if (termination_ && --terminationHolds == 0) {
    // A signal held meanwhile takes effect here, through the removal's handler where there is
    // one; only then do the others get their actions back.
    ::pthread_sigmask(SIG_SETMASK, &maskBeforeHolds, nullptr);
    forEachAlsoTerminating([](int signal) {
      if (!removalActionsInstalled[signal]) return;
      removalActionsInstalled[signal] = false;
      ::sigaction(signal, &actionsBeforeRemoval[signal], nullptr);
    });
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
  action.sa_mask = everyTerminating();
  const auto takeOver = [&](int signal, struct sigaction& before) {
    return ::sigaction(signal, nullptr, &before) == 0 && (before.sa_flags & SA_SIGINFO) == 0 &&
           before.sa_handler == SIG_DFL && ::sigaction(signal, &action, nullptr) == 0;
  };
  for (const int signal : kTerminating) {
    struct sigaction before {};
    takeOver(signal, before);
  }
  if (terminationHolds == 0) return;  // no hold ends to put the others back
  forEachAlsoTerminating([&](int signal) {
    removalActionsInstalled[signal] = takeOver(signal, actionsBeforeRemoval[signal]);
  });
}

void cancelRemovalOnTermination() { removalCancelled.store(true); }

}  // namespace tavmor
