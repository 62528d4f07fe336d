#include <thread>

#include "platform/thread.hpp"

namespace tavmor {

// Windows delivers no signals to arbitrary threads: console events get a thread of their own.
bool startDetachedThread(std::function<void()> work) {
  try {
    std::thread(std::move(work)).detach();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace tavmor
