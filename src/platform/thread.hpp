#pragma once
// Threads that work beside the interpreter.

#include <chrono>
#include <cstdint>
#include <functional>

namespace tavmor {

// Starts `work` on a detached thread. On POSIX the thread blocks every signal, so that a signal
// sent to the process reaches the thread whose handlers expect it (the interpreter's), never
// this one. False when no thread could be started.
bool startDetachedThread(std::function<void()> work);

// Sleeps for `delay` (nothing when it is zero or less), going on for the time that remains when
// a signal interrupts the sleep.
void sleepFor(std::chrono::milliseconds delay);

}  // namespace tavmor
