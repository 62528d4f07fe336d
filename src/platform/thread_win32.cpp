#include <process.h>
#include <windows.h>

#include <memory>
#include <new>

#include "platform/thread.hpp"

namespace tavmor {
namespace {

unsigned __stdcall runWork(void* work) {
  const std::unique_ptr<std::function<void()>> owned(static_cast<std::function<void()>*>(work));
  (*owned)();
  return 0;
}

}  // namespace

// Windows delivers no signals to arbitrary threads: console events get a thread of their own.
// The C runtime's own thread start rather than std::thread, whose threads library would double
// the launcher's size.
bool startDetachedThread(std::function<void()> work) {
  auto* owned = new (std::nothrow) std::function<void()>(std::move(work));
  if (owned == nullptr) return false;
  const auto handle = ::_beginthreadex(nullptr, 0, runWork, owned, 0, nullptr);
  if (handle == 0) {
    delete owned;
    return false;
  }
  ::CloseHandle(reinterpret_cast<HANDLE>(handle));
  return true;
}

void sleepFor(std::chrono::milliseconds delay) {
  // Sleep takes a DWORD of milliseconds, and no signal cuts it short.
  constexpr std::int64_t kLongest = 1 << 30;
  for (std::int64_t left = delay.count(); left > 0; left -= kLongest) {
    ::Sleep(static_cast<DWORD>(left < kLongest ? left : kLongest));
  }
}

}  // namespace tavmor
