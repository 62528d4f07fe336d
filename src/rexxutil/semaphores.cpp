// Event and mutex semaphores, within the process, with OS/2's return codes: 6 an unknown handle,
// 121 a wait that timed out, 288 a release by a non-owner, 299 already posted, 300 already reset.
#include <map>

#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

struct Semaphore {
  bool mutex = false;
  long count = 0;  // posts of an event, requests of a mutex
  std::string name;
};

std::map<long, Semaphore>& semaphores() {
  static std::map<long, Semaphore> all;
  return all;
}

Semaphore* find(std::string_view handle, bool mutex) {
  auto at = semaphores().find(atoiOf(handle));
  if (at == semaphores().end() || at->second.mutex != mutex) return nullptr;
  return &at->second;
}

APIRET create(const Arguments& args, PRXSTRING result, bool mutex) {
  if (!args.within(0, 2)) return kBadCall;
  const std::string name = upper(args.text(0));
  for (const auto& [handle, semaphore] : semaphores()) {
    if (!name.empty() && semaphore.name == name && semaphore.mutex == mutex) {
      return setResult(result, handle);
    }
  }
  static long next = 1;
  semaphores()[next] = Semaphore{mutex, args.option(1) == '1' ? 1 : 0, name};
  return setResult(result, next++);
}

APIRET open(const Arguments& args, PRXSTRING result, bool mutex) {
  if (!args.within(1, 1)) return kBadCall;
  const std::string name = upper(args.text(0));
  for (const auto& [handle, semaphore] : semaphores()) {
    if (semaphore.name == name && semaphore.mutex == mutex) return setResult(result, handle);
  }
  return setResult(result, "");
}

APIRET close(const Arguments& args, PRXSTRING result, bool mutex) {
  if (!args.within(1, 1)) return kBadCall;
  if (find(args.text(0), mutex) == nullptr) return setResult(result, "6");
  semaphores().erase(atoiOf(args.text(0)));
  return setResult(result, "0");
}

}  // namespace

APIRET sysCreateEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return create(Arguments(argc, argv), result, false);
}
APIRET sysOpenEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return open(Arguments(argc, argv), result, false);
}
APIRET sysCloseEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return close(Arguments(argc, argv), result, false);
}
APIRET sysCreateMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return create(Arguments(argc, argv), result, true);
}
APIRET sysOpenMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return open(Arguments(argc, argv), result, true);
}
APIRET sysCloseMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  return close(Arguments(argc, argv), result, true);
}

APIRET sysPostEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  Semaphore* s = find(args.text(0), false);
  if (s == nullptr) return setResult(result, "6");
  return setResult(result, s->count++ > 0 ? "299" : "0");
}

APIRET sysResetEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  Semaphore* s = find(args.text(0), false);
  if (s == nullptr) return setResult(result, "6");
  const bool wasReset = s->count == 0;
  s->count = 0;
  return setResult(result, wasReset ? "300" : "0");
}

APIRET sysPulseEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  Semaphore* s = find(args.text(0), false);
  if (s == nullptr) return setResult(result, "6");
  s->count = 0;
  return setResult(result, "0");
}

// Nothing else in the process can post or release while the program waits: a wait that cannot
// be satisfied now times out at once.
APIRET sysWaitEventSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 2)) return kBadCall;
  Semaphore* s = find(args.text(0), false);
  if (s == nullptr) return setResult(result, "6");
  return setResult(result, s->count > 0 ? "0" : "121");
}

APIRET sysRequestMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 2)) return kBadCall;
  Semaphore* s = find(args.text(0), true);
  if (s == nullptr) return setResult(result, "6");
  ++s->count;
  return setResult(result, "0");
}

APIRET sysReleaseMutexSem(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  Semaphore* s = find(args.text(0), true);
  if (s == nullptr) return setResult(result, "6");
  if (s->count == 0) return setResult(result, "288");
  --s->count;
  return setResult(result, "0");
}

}  // namespace tavmor::rexxutil
