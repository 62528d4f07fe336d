#pragma once
// The "verify" verb: whether the launcher runs a file's script as it was packed.

#include <string>
#include <vector>

namespace tavmor {

// args follow the verb name. Returns 0 when the file carries a well-formed payload that the
// launcher runs as it is, 1 with the reasons on stderr otherwise.
int verifyCommand(const std::vector<std::string>& args);

}  // namespace tavmor
