#pragma once
// The "extract" verb: the script a launcher file runs, byte for byte.

#include <string>
#include <vector>

namespace tavmor {

// args follow the verb name. Returns the exit status.
int extractCommand(const std::vector<std::string>& args);

}  // namespace tavmor
