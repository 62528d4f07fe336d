#pragma once
// Hints about large blocks of memory.

#include <cstddef>

namespace tavmor {

// Asks for the large pages the system offers where a block of `size` bytes at `block` is about
// to be written whole: one fault per 2 MiB instead of one per 4 KiB. Does nothing where the
// system offers none, or for a small block.
void preferLargePages(void* block, std::size_t size);

}  // namespace tavmor
