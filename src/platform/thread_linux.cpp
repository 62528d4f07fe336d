#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <memory>
#include <new>

#include "platform/thread.hpp"

namespace tavmor {
namespace {

void* runDetached(void* state) {
  const std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(state));
  (*work)();
  return nullptr;
}

// Keeps the thread on the processor its creator runs on. A thread placed on an idle processor
// has to wake it, when it starts and again when the process exits and takes the thread with it,
// and in a virtual machine each wake of an idle processor costs a large part of a millisecond:
// the whole start of a small script. The thread sleeps and removes one file, so one processor
// serves it as well as any.
void pinToCurrentProcessor(pthread_attr_t& attributes) {
  const int processor = ::sched_getcpu();
  if (processor < 0 || processor >= CPU_SETSIZE) return;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(processor, &one);
  ::pthread_attr_setaffinity_np(&attributes, sizeof one, &one);
}

int createDetached(std::function<void()>* work, bool pinned) {
  pthread_attr_t attributes;
  if (const int error = ::pthread_attr_init(&attributes); error != 0) return error;
  ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (pinned) pinToCurrentProcessor(attributes);
  pthread_t thread;
  const int error = ::pthread_create(&thread, &attributes, runDetached, work);
  ::pthread_attr_destroy(&attributes);
  return error;
}

}  // namespace

bool startDetachedThread(std::function<void()> work) {
  auto* state = new (std::nothrow) std::function<void()>(std::move(work));
  if (state == nullptr) return false;
  // A new thread starts with its creator's signal mask; blocking here leaves it no moment in
  // which a signal could land on it. The interpreter's handlers assume their own thread: on
  // another one they crash the process.
  sigset_t all;
  sigset_t previous;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &previous);
  int error = createDetached(state, true);
  // The processor may have left the allowed set since it was asked for (a cpuset changed).
  if (error == EINVAL) error = createDetached(state, false);
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (error != 0) delete state;
  return error == 0;
}

void sleepFor(std::chrono::milliseconds delay) {
  if (delay.count() <= 0) return;
  timespec remaining{static_cast<time_t>(delay.count() / 1000),
                     static_cast<long>(delay.count() % 1000 * 1000000)};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace tavmor
