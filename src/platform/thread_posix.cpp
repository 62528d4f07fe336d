#include <pthread.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <thread>

#include "platform/thread.hpp"

namespace tavmor {

bool startDetachedThread(std::function<void()> work) {
  // A new thread starts with its creator's signal mask; blocking here leaves it no moment in
  // which a signal could land on it. The interpreter's handlers assume their own thread: on
  // another one they crash the process.
  sigset_t all;
  sigset_t previous;
  ::sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &previous);
  bool started = true;
  try {
    std::thread(std::move(work)).detach();
  } catch (...) {
    started = false;
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

void sleepSeconds(std::int32_t seconds) {
  if (seconds <= 0) return;
  timespec remaining{seconds, 0};
  while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace tavmor
