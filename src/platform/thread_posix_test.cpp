#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <future>
#include <memory>

#include "platform/thread.hpp"

namespace tavmor {
namespace {

TEST(DetachedThread, BlocksEverySignalAndLeavesTheCallersMaskAlone) {
  sigset_t before;
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &before), 0);
  auto mask = std::make_shared<std::promise<sigset_t>>();
  std::future<sigset_t> threadMask = mask->get_future();
  ASSERT_TRUE(startDetachedThread([mask] {
    sigset_t own;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &own);
    mask->set_value(own);
  }));
  const sigset_t own = threadMask.get();
  sigset_t after;
  ASSERT_EQ(::pthread_sigmask(SIG_SETMASK, nullptr, &after), 0);
  for (const int signal : {SIGHUP, SIGINT, SIGTERM, SIGQUIT, SIGUSR1, SIGCHLD, SIGPIPE, SIGALRM}) {
    EXPECT_EQ(::sigismember(&own, signal), 1) << signal;
    EXPECT_EQ(::sigismember(&after, signal), ::sigismember(&before, signal)) << signal;
  }
}

}  // namespace
}  // namespace tavmor
