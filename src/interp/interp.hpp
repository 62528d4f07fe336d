#pragma once
// Running the staged script in an interpreter instance.

#include "util/status.hpp"

namespace tavmor {

// Creates an interpreter instance and runs the program file `path` (UTF-8) with argv[1] to
// argv[argc - 1] as its arguments; returns when the script has finished. Returns the instance
// handle, or the failure "Cannot create a Rexx interpreter instance." when none could be created
// (then nothing else was called).
Result<void*> runScript(const char* path, int argc, char** argv);

// Ends an instance that runScript returned.
void terminateInstance(void* instance);

}  // namespace tavmor
