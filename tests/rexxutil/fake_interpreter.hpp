#pragma once
// Regina's side of the SAA interface, as far as RexxUtil uses it, for RexxUtil's unit tests: a
// variable pool in a map, and memory from malloc. No Regina is needed to run them.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rexxutil/functions.hpp"

namespace tavmor::test {

// The calling program's variables by their names (a stem's items as "S.1"), for the test to set
// and read.
std::map<std::string, std::string>& variables();

// Calls a RexxUtil function with `args` (nullopt: an omitted argument) as Regina calls it: the
// result, or nullopt for a call that raises Error 40.
std::optional<std::string> call(rexxutil::Function* function,
                                const std::vector<std::optional<std::string>>& args);

// The same in a child process whose files may grow to `limit` bytes, as on a nearly full disk;
// "crashed" when the child does not end normally.
std::optional<std::string> callWithFileSizeLimit(
    std::size_t limit, rexxutil::Function* function,
    const std::vector<std::optional<std::string>>& args);

}  // namespace tavmor::test
