#pragma once
// Handing a program to Regina.

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "util/status.hpp"

namespace tavmor {

// Runs `source` as the Rexx program `name`, in the SYSTEM command environment as regina itself
// does, with each of `arguments` as an argument of its own (a null one is omitted). Returns when
// the program has ended, whatever it did; a failure when Regina would not start it, or when the
// program was stopped by a failure that Regina could not report (see whileRunning).
Status startProgram(const char* name, std::string_view source,
                    const std::vector<const std::string*>& arguments);

// Calls run(), which runs the program `name` in Regina. A C++ exception that comes out of it was
// thrown by a routine the program called (RexxUtil's) and has unwound Regina, which cannot go on
// after that: it is the run's failure, in words that say the program had started.
template <typename Run>
Status whileRunning(const char* name, Run run) {
  try {
    run();
    return Status::success();
  } catch (const std::bad_alloc&) {
    return Status::failure(Status::Code::kNoMemory,
                           std::string("Not enough memory to go on running the Rexx script ") +
                               name + "; it was stopped.");
  } catch (const std::exception& e) {
    return Status::failure(std::string("The Rexx script ") + name +
                           " was stopped by a failure: " + e.what());
  }
}

}  // namespace tavmor
