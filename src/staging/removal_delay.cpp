#include "staging/staging.hpp"

namespace tavmor {

// On its own, so that a test build of the launcher can link a shorter delay in its place.
std::chrono::milliseconds removalDelay() { return kRemovalDelay; }

}  // namespace tavmor
