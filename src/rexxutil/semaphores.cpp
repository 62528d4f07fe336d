// Event and mutex semaphores as System V semaphore sets, laid out as regutil lays them out, so
// that packed programs and programs run by regina share them: the same keys (a checksum of the
// name; one key for every unnamed one), three semaphores a set (0 the state, 1 the number of
// users, 2 the kind), and one set keyed on "/tmp/regutil.sem" that serialises changes. A handle
// is the set's id in the 4 bytes of an int.
#include <errno.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

enum Kind : int { kMutex = 1, kManualEvent = 2, kAutoEvent = 3 };
enum class Change { kReset, kPost, kPulse };

constexpr char kLockName[] = "/tmp/regutil.sem";
constexpr char kInvalidHandle[] = "6";
constexpr char kTimedOut[] = "121";

union SemaphoreArgument {
  int val;
  semid_ds* buf;
  unsigned short* array;
};

int lockSet = -2;         // not yet set up
std::vector<int> opened;  // the sets this process uses, released at exit

key_t checksum(std::string_view name) {
  int sum = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    sum += static_cast<signed char>(name[i]) * static_cast<int>(i + 1);
  }
  return sum;
}

void change(int set, unsigned short which, short by) {
  sembuf op{which, by, 0};
  semop(set, &op, 1);
}

void lock() { change(lockSet, 0, -1); }
void unlock() { change(lockSet, 0, 1); }

void release(int set) {
  lock();
  auto at = std::find(opened.begin(), opened.end(), set);
  if (at != opened.end()) {
    change(set, 1, -1);
    if (semctl(set, 1, GETVAL) == 0) semctl(set, 0, IPC_RMID);
    opened.erase(at);
  }
  unlock();
}

void releaseAll() {
  if (lockSet < 0) return;
  while (!opened.empty()) release(opened.back());
  lock();
  change(lockSet, 1, -1);
  if (semctl(lockSet, 1, GETVAL) == 0)
    semctl(lockSet, 0, IPC_RMID);
  else
    unlock();
  lockSet = -2;
}

void setUpLock() {
  if (lockSet >= -1) return;
  std::atexit(releaseAll);
  const key_t key = checksum(kLockName);
  lockSet = semget(key, 2, 0666);
  bool created = false;
  if (lockSet == -1) {
    lockSet = semget(key, 2, IPC_CREAT | 0666);
    created = lockSet > -1;
  }
  change(lockSet, 1, 1);
  if (created) unlock();
}

// The set for `name` (unnamed: none), made when `create`; its id, or -1.
int openSet(const std::optional<std::string_view>& name, int kind, bool create) {
  setUpLock();
  const key_t key = name ? checksum(*name) : static_cast<key_t>(-1);
  lock();
  const int set = semget(key, 3, 0666 | (create ? IPC_CREAT : 0));
  if (set > -1) {
    if (semctl(set, 2, GETVAL) == 0) {
      SemaphoreArgument value{kind};
      semctl(set, 2, SETVAL, value);
      if (kind == kMutex) {
        value.val = 1;
        semctl(set, 0, SETVAL, value);
      }
    }
    change(set, 1, 1);
    opened.push_back(set);
  }
  unlock();
  return set;
}

APIRET handleResult(PRXSTRING result, int set) {
  if (set == -1) return setResult(result, "");
  char bytes[sizeof set];
  std::memcpy(bytes, &set, sizeof set);
  return setResult(result, std::string_view(bytes, sizeof bytes));
}

std::optional<int> handle(const Arguments& args) {
  const std::string_view text = args.text(0);
  if (!args.given(0) || text.size() != sizeof(int)) return std::nullopt;
  int set;
  std::memcpy(&set, text.data(), sizeof set);
  return set;
}

// Waits for the state to be taken, for `milliseconds` (0: for ever); false when it was not.
bool wait(int set, long milliseconds) {
  unsigned short values[3] = {0, 0, 0};
  SemaphoreArgument all{};
  all.array = values;
  lock();
  semctl(set, 0, GETALL, all);
  unlock();
  // A posted manual-reset event lets every waiter through and stays posted.
  if (values[2] == kManualEvent && values[0] != 0) return true;
  sembuf take{0, -1, 0};
  if (milliseconds <= 0) return semop(set, &take, 1) == 0;
  timespec limit{milliseconds / 1000, (milliseconds % 1000) * 1000000};
  return semtimedop(set, &take, 1, &limit) == 0;
}

void apply(int set, Change what) {
  lock();
  SemaphoreArgument value{0};
  if (what != Change::kReset) {
    const int kind = semctl(set, 2, GETVAL);
    const int waiting = semctl(set, 0, GETNCNT);
    if (what == Change::kPulse && waiting == 0) {
      unlock();
      return;
    }
    if ((kind == kMutex && what == Change::kPost) ||
        (kind == kAutoEvent && what == Change::kPulse)) {
      value.val = 1;
    } else if ((kind == kAutoEvent && what == Change::kPost) ||
               (kind == kManualEvent && what == Change::kPulse)) {
      value.val = waiting;
    } else if (kind == kManualEvent && what == Change::kPost) {
      value.val = waiting + 1;
    }
  }
  semctl(set, 0, SETVAL, value);
  unlock();
}

APIRET changeState(ULONG argc, PRXSTRING argv, PRXSTRING result, Change what) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  const std::optional<int> set = handle(args);
  if (!set) return setResult(result, kInvalidHandle);
  apply(*set, what);
  return setResult(result, "0");
}

APIRET waitFor(ULONG argc, PRXSTRING argv, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 2)) return kBadCall;
  const std::optional<int> set = handle(args);
  if (!set) return setResult(result, kInvalidHandle);
  return setResult(result, wait(*set, args.number(1)) ? "0" : kTimedOut);
}

APIRET close(ULONG argc, PRXSTRING argv, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  const std::optional<int> set = handle(args);
  if (!set) return setResult(result, kInvalidHandle);
  release(*set);
  return setResult(result, "1");
}

std::optional<std::string_view> nameOf(const Arguments& args) {
  if (args.count() == 0 || !args.given(0)) return std::nullopt;
  return args.text(0);
}

}  // namespace

APIRET sysCreateEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(0, 2)) return kBadCall;
  const int kind = args.given(1) && args.number(1) != 0 ? kManualEvent : kAutoEvent;
  return handleResult(result, openSet(nameOf(args), kind, true));
}

APIRET sysCreateMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(0, 1)) return kBadCall;
  return handleResult(result, openSet(nameOf(args), kMutex, true));
}

APIRET sysOpenEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  return handleResult(result, openSet(args.text(0), 0, false));
}

APIRET sysOpenMutexSem(PCSZ name, ULONG argc, PRXSTRING argv, PCSZ queue, PRXSTRING result) {
  return sysOpenEventSem(name, argc, argv, queue, result);
}

APIRET sysCloseEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return close(argc, argv, result);
}

APIRET sysCloseMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return close(argc, argv, result);
}

APIRET sysPostEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return changeState(argc, argv, result, Change::kPost);
}

APIRET sysPulseEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return changeState(argc, argv, result, Change::kPulse);
}

APIRET sysResetEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return changeState(argc, argv, result, Change::kReset);
}

APIRET sysReleaseMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return changeState(argc, argv, result, Change::kPost);
}

APIRET sysWaitEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return waitFor(argc, argv, result);
}

APIRET sysRequestMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return waitFor(argc, argv, result);
}

}  // namespace tavmor::rexxutil
