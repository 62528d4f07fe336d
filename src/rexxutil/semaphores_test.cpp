#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "rexxutil/fake_interpreter.hpp"

namespace tavmor::test {
namespace {

using namespace rexxutil;

std::string uniqueName(const char* what) {
  return std::string("tavmor-test-") + what + "-" + std::to_string(::getpid());
}

// Processes that make one named mutex at the same moment share it, and hold it one at a time.
TEST(MutexSem, HasOneHolderAmongProcessesThatMakeItAtOnce) {
  struct Shared {
    std::atomic<int> holders, most;
  };
  void* memory =
      ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  Shared* shared = new (memory) Shared{};
  // The children start together when the parent closes the pipe's writing end.
  int start[2];
  ASSERT_EQ(::pipe(start), 0);
  constexpr int kProcesses = 16;
  const std::string name = uniqueName("mutex");
  std::vector<pid_t> children;
  for (int i = 0; i < kProcesses; ++i) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(start[1]);
      char none;
      bool ok = ::read(start[0], &none, 1) == 0;
      const std::optional<std::string> handle = call(sysCreateMutexSem, {name});
      ok = ok && handle && handle->size() == sizeof(int);
      for (int round = 0; ok && round < 10; ++round) {
        ok = call(sysRequestMutexSem, {*handle}) == "0";
        const int now = ++shared->holders;
        for (int expected = shared->most; now > expected;) {
          shared->most.compare_exchange_weak(expected, now);
        }
        ::sched_yield();
        --shared->holders;
        ok = ok && call(sysReleaseMutexSem, {*handle}) == "0";
      }
      ok = ok && call(sysCloseMutexSem, {*handle}) == "1";
      std::exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  ::close(start[0]);
  ::close(start[1]);
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(shared->most, 1);
  ::munmap(memory, sizeof(Shared));
}

// Any name makes a set, opened again by that name; a handle that names no set is told so.
TEST(EventSem, TakesAnyNameAndRefusesAForeignHandle) {
  for (const std::string& name :
       {uniqueName("event"), std::string(100000, '\xff') + uniqueName("x")}) {
    const std::optional<std::string> made = call(sysCreateEventSem, {name, "1"});
    ASSERT_TRUE(made && made->size() == sizeof(int));
    EXPECT_EQ(call(sysOpenEventSem, {name}), made);
    EXPECT_EQ(call(sysPostEventSem, {*made}), "0");
    EXPECT_EQ(call(sysWaitEventSem, {*made, "1"}), "0");
    EXPECT_EQ(call(sysResetEventSem, {*made}), "0");
    EXPECT_EQ(call(sysWaitEventSem, {*made, "1"}), "121");
    EXPECT_EQ(call(sysCloseEventSem, {*made}), "1");
    EXPECT_EQ(call(sysCloseEventSem, {*made}), "1");
  }
  const int none = -7;
  std::string foreign(sizeof none, '\0');
  std::memcpy(foreign.data(), &none, sizeof none);
  for (auto* function : {sysPostEventSem, sysResetEventSem, sysPulseEventSem, sysWaitEventSem}) {
    EXPECT_EQ(call(function, {foreign}), "6");
  }
  EXPECT_EQ(call(sysPostEventSem, {"abc"}), "6");
}

}  // namespace
}  // namespace tavmor::test
