#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>

#include "platform/mapping_guard.hpp"

namespace tavmor {
namespace {

// The handler reads the slots without a lock: a slot is filled before its start is set, and its
// start is cleared before its pages are unmapped, so that an address the system gives out again
// is never taken for the old mapping.
struct GuardedMapping {
  std::atomic<std::uintptr_t> start{0};  // 0 while the slot is free
  std::atomic<std::uint64_t> size{0};
  std::atomic<bool> damaged{false};
};
constexpr std::size_t kGuardedMappings = 4;
GuardedMapping guarded[kGuardedMappings];
std::mutex guardedLock;  // taken to claim and free slots, never in the handler
std::once_flag handlerInstalled;
std::uintptr_t pageSize = 0;  // set before the handler is installed

// The guarded mapping that holds address, or null.
GuardedMapping* mappingAt(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  for (GuardedMapping& mapping : guarded) {
    const std::uintptr_t start = mapping.start.load();
    if (start != 0 && at >= start && at - start < mapping.size.load()) return &mapping;
  }
  return nullptr;
}

void onBusError(int signal, siginfo_t* info, void*) {
  // A positive code marks a fault of this process's own access; kill(2) and its kin send others.
  if (GuardedMapping* mapping = info->si_code > 0 ? mappingAt(info->si_addr) : nullptr) {
    // A zero page in place of the one that cannot be read; the access is retried on return.
    const auto page = reinterpret_cast<std::uintptr_t>(info->si_addr) & ~(pageSize - 1);
    const int interrupted = errno;  // of the code the fault interrupted
    if (::mmap(reinterpret_cast<void*>(page), pageSize, PROT_READ,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
      mapping->damaged.store(true);
      errno = interrupted;
      return;
    }
  }
  // Taken as if there were no guard: the signal stays blocked until the handler returns, and
  // then ends the process.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigaction(signal, &fallback, nullptr);
  ::raise(signal);
}

void installHandler() {
  pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  struct sigaction action {};
  action.sa_sigaction = onBusError;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, nullptr);
}

}  // namespace

bool guardMapping(void* start, std::uint64_t size) {
  std::call_once(handlerInstalled, installHandler);
  const std::lock_guard<std::mutex> lock(guardedLock);
  for (GuardedMapping& mapping : guarded) {
    if (mapping.start.load() != 0) continue;
    mapping.size.store(size);
    mapping.damaged.store(false);
    mapping.start.store(reinterpret_cast<std::uintptr_t>(start));
    return true;
  }
  return false;
}

void unmapGuarded(unsigned char* start, std::uint64_t size) {
  {
    const std::lock_guard<std::mutex> lock(guardedLock);
    for (GuardedMapping& mapping : guarded) {
      if (mapping.start.load() == reinterpret_cast<std::uintptr_t>(start)) mapping.start.store(0);
    }
  }
  ::munmap(start, static_cast<std::size_t>(size));
}

bool mappingDamaged(const void* start) {
  const GuardedMapping* mapping = start != nullptr ? mappingAt(start) : nullptr;
  return mapping != nullptr && mapping->damaged.load();
}

}  // namespace tavmor
