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

int lockSet = -2;         // not yet set up (-1: set up once, and gone or not made)
std::vector<int> opened;  // the sets this process uses, released at exit

// regutil's key: the sum of each character (signed) times its position, in an int. Summed here
// without overflow and wrapped as regutil's sum wraps, so that long names get its keys too.
key_t checksum(std::string_view name) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    sum += static_cast<unsigned>(static_cast<signed char>(name[i])) * static_cast<unsigned>(i + 1);
  }
  return static_cast<key_t>(sum);
}

// One step on one semaphore of the set, gone on with after a signal; false with errno set when it
// could not be done (the set was removed, or is no set).
bool change(int set, unsigned short which, short by) {
  sembuf op{which, by, 0};
  while (semop(set, &op, 1) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

bool setUpLock();
// A handle may come from another process: the first change this process makes sets it up.
bool lock() { return setUpLock() && change(lockSet, 0, -1); }
void unlock() { change(lockSet, 0, 1); }

void release(int set) {
  if (!lock()) return;
  auto at = std::find(opened.begin(), opened.end(), set);
  if (at != opened.end()) {
    if (change(set, 1, -1) && semctl(set, 1, GETVAL) == 0) semctl(set, 0, IPC_RMID);
    opened.erase(at);
  }
  unlock();
}

void releaseAll() {
  if (lockSet < 0) return;
  while (!opened.empty()) release(opened.back());
  if (lock()) {
    if (change(lockSet, 1, -1) && semctl(lockSet, 1, GETVAL) == 0)
      semctl(lockSet, 0, IPC_RMID);
    else
      unlock();
  }
  lockSet = -2;
}

// Attaches to the set that serialises changes, or makes it. Only its maker, alone to make it
// (IPC_EXCL), opens it; the others wait in lock() until it has. A set removed by the last process
// to leave between our semget and our first step is looked for again. False when there is none.
bool setUpLock() {
  if (lockSet >= 0) return true;
  if (lockSet == -2) std::atexit(releaseAll);
  const key_t key = checksum(kLockName);
  for (int attempt = 0; attempt < 100; ++attempt) {
    bool made = true;
    lockSet = semget(key, 2, IPC_CREAT | IPC_EXCL | 0666);
    if (lockSet == -1 && errno == EEXIST) {
      made = false;
      lockSet = semget(key, 2, 0666);
    }
    if (lockSet == -1) {
      if (errno == ENOENT) continue;
      return false;
    }
    if (change(lockSet, 1, 1)) {
      if (made) unlock();
      return true;
    }
    if (errno != EIDRM && errno != EINVAL) break;
  }
  lockSet = -1;
  return false;
}

// The set for `name` (unnamed: none), made when `create`; its id, or -1.
int openSet(const std::optional<std::string_view>& name, int kind, bool create) {
  if (!lock()) return -1;
  const key_t key = name ? checksum(*name) : static_cast<key_t>(-1);
  // Made by us alone, or found: two makers at once must not both set it up (a mutex set to free
  // twice has two holders).
  bool made = create;
  int set = create ? semget(key, 3, IPC_CREAT | IPC_EXCL | 0666) : -1;
  if (set == -1 && (!create || errno == EEXIST)) {
    made = false;
    set = semget(key, 3, 0666);
  }
  // A set made by regutil that it has not yet set up is set up here, as regutil does.
  if (set > -1 && (made || semctl(set, 2, GETVAL) == 0)) {
    SemaphoreArgument value{kind};
    bool ready = semctl(set, 2, SETVAL, value) == 0;
    if (kind == kMutex) {
      value.val = 1;
      ready = ready && semctl(set, 0, SETVAL, value) == 0;
    }
    if (!ready) set = -1;
  }
  if (set > -1 && change(set, 1, 1)) {
    opened.push_back(set);
  } else {
    set = -1;
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

enum class Outcome { kDone, kExpired, kInvalid };

// Waits for the state to be taken, for `milliseconds` (0 or less: for ever).
Outcome wait(int set, long milliseconds) {
  unsigned short values[3] = {0, 0, 0};
  SemaphoreArgument all{};
  all.array = values;
  if (!lock()) return Outcome::kInvalid;
  const bool read = semctl(set, 0, GETALL, all) == 0;
  unlock();
  if (!read) return Outcome::kInvalid;
  // A posted manual-reset event lets every waiter through and stays posted.
  if (values[2] == kManualEvent && values[0] != 0) return Outcome::kDone;
  sembuf take{0, -1, 0};
  timespec limit{milliseconds / 1000, (milliseconds % 1000) * 1000000};
  if ((milliseconds <= 0 ? semop(set, &take, 1) : semtimedop(set, &take, 1, &limit)) == 0) {
    return Outcome::kDone;
  }
  // A signal ends the wait as a timeout does: Ctrl-C then halts the program at once.
  return errno == EAGAIN || errno == EINTR ? Outcome::kExpired : Outcome::kInvalid;
}

Outcome apply(int set, Change what) {
  if (!lock()) return Outcome::kInvalid;
  SemaphoreArgument value{0};
  if (what != Change::kReset) {
    const int kind = semctl(set, 2, GETVAL);
    const int waiting = semctl(set, 0, GETNCNT);
    if (kind == -1 || waiting == -1) {
      unlock();
      return Outcome::kInvalid;
    }
    if (what == Change::kPulse && waiting == 0) {
      unlock();
      return Outcome::kDone;
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
  const bool changed = semctl(set, 0, SETVAL, value) == 0;
  unlock();
  return changed ? Outcome::kDone : Outcome::kInvalid;
}

APIRET changeState(ULONG argc, PRXSTRING argv, PRXSTRING result, Change what) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  const std::optional<int> set = handle(args);
  if (!set) return setResult(result, kInvalidHandle);
  return setResult(result, apply(*set, what) == Outcome::kDone ? "0" : kInvalidHandle);
}

APIRET waitFor(ULONG argc, PRXSTRING argv, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 2)) return kBadCall;
  const std::optional<int> set = handle(args);
  if (!set) return setResult(result, kInvalidHandle);
  switch (wait(*set, args.number(1))) {
    case Outcome::kDone:
      return setResult(result, "0");
    case Outcome::kExpired:
      return setResult(result, kTimedOut);
    case Outcome::kInvalid:
      break;
  }
  return setResult(result, kInvalidHandle);
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
