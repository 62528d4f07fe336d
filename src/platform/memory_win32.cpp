#include "platform/memory.hpp"

namespace tavmor {

// Large pages on Windows need a privilege that ordinary users lack.
void preferLargePages(void*, std::size_t) {}

}  // namespace tavmor
