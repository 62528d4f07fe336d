#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <future>
#include <memory>

#include "platform/thread.hpp"

namespace tavmor {
namespace {

TEST(DetachedThread, BlocksEverySignalStaysOnOneAllowedProcessorAndLeavesTheCallerAlone) {
  sigset_t before;
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &before), 0);
  cpu_set_t allowed;
  ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
  auto mask = std::make_shared<std::promise<sigset_t>>();
  auto processors = std::make_shared<std::promise<cpu_set_t>>();
  std::future<sigset_t> threadMask = mask->get_future();
  std::future<cpu_set_t> threadProcessors = processors->get_future();
  ASSERT_TRUE(startDetachedThread([mask, processors] {
    sigset_t own;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &own);
    mask->set_value(own);
    cpu_set_t set;
    ::pthread_getaffinity_np(::pthread_self(), sizeof set, &set);
    processors->set_value(set);
  }));
  const sigset_t own = threadMask.get();
  cpu_set_t onThread = threadProcessors.get();
  EXPECT_EQ(CPU_COUNT(&onThread), 1);
  cpu_set_t both;
  CPU_AND(&both, &onThread, &allowed);
  EXPECT_EQ(CPU_COUNT(&both), 1);
  sigset_t after;
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &after), 0);
  for (const int signal : {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGUSR1, SIGCHLD, SIGPIPE, SIGALRM}) {
    EXPECT_EQ(::sigismember(&own, signal), 1) << signal;
    EXPECT_EQ(::sigismember(&after, signal), ::sigismember(&before, signal)) << signal;
  }
}

}  // namespace
}  // namespace tavmor
