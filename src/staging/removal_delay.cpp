#include "staging/staging.hpp"

namespace tavmor {

// On its own, so that a test build of the launcher can link a shorter delay in its place.
std::int32_t removalDelaySeconds() { return kRemovalDelaySeconds; }

}  // namespace tavmor
