#pragma once
// Threads that work beside the interpreter.

#include <cstdint>
#include <functional>

namespace tavmor {

// Starts `work` on a detached thread. On POSIX the thread blocks every signal, so that a signal
// sent to the process reaches the thread whose handlers expect it (the interpreter's), never
// this one. False when no thread could be started.
bool startDetachedThread(std::function<void()> work);

// Sleeps for `seconds` whole seconds, going on for the time that remains when a signal
// interrupts the sleep.
void sleepSeconds(std::int32_t seconds);

}  // namespace tavmor
