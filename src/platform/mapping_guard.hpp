#pragma once
// Keeps a bus error in a mapped file image from ending the process (POSIX; Windows reads images
// whole). A page of a guarded mapping that cannot be read, because the file shrank under the
// mapping or the disk failed, reads as zeros instead, and the mapping counts as damaged. Any
// other bus error takes its default action, as it would without the guard.

#include <cstdint>

namespace tavmor {

// Guards the mapping of `size` bytes at start; false when a few mappings are guarded already.
bool guardMapping(void* start, std::uint64_t size);

// Stops guarding the mapping at start, then unmaps it.
void unmapGuarded(unsigned char* start, std::uint64_t size);

// Whether a page of the guarded mapping at start could not be read; false for anything else.
bool mappingDamaged(const void* start);

}  // namespace tavmor
