#pragma once
// Running the staged script in an interpreter instance.

#include "util/status.hpp"

namespace tavmor {

// Creates an interpreter instance and runs the program file `path` (UTF-8) with argv[1] to
// argv[argc - 1] as its arguments; returns when the script has finished. Returns the instance
// handle; or the failure "Cannot create a Rexx interpreter instance." when none could be created
// (then nothing else was called); or the failure that the interpreter library refused the
// program with (see refuseProgram), the instance ended.
Result<void*> runScript(const char* path, int argc, char** argv);

// Ends an instance that runScript returned.
void terminateInstance(void* instance);

// For an interpreter library linked into the launcher (not on Windows): the program it was asked
// to run never started, or was stopped by a failure that it could not report (`failure`, one line
// for the user). The interface's call has no way to say so, and a program that did not run must
// not look like one that did; runScript returns it.
void refuseProgram(Status failure);

// The failure that refuseProgram reported since the last call, which it takes; success if none.
Status takeRefusal();

}  // namespace tavmor
