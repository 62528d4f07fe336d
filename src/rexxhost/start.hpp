#pragma once
// Handing a program to Regina.

#include <string>
#include <string_view>
#include <vector>

#include "util/status.hpp"

namespace tavmor {

// Runs `source` as the Rexx program `name`, in the SYSTEM command environment as regina itself
// does, with each of `arguments` as an argument of its own (a null one is omitted). Returns when
// the program has ended, whatever it did; a failure only when Regina would not start it.
Status startProgram(const char* name, std::string_view source,
                    const std::vector<const std::string*>& arguments);

}  // namespace tavmor
