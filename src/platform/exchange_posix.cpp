// POSIX has no call that exchanges two files: moveOnto renames instead.
#include "platform/replace_steps_posix.hpp"

namespace tavmor {

bool exchangeFiles(const std::string&, const std::string&) { return false; }

}  // namespace tavmor
