#pragma once
// What the interpreter library checks in a program's source before Regina is handed it.

#include <cstddef>
#include <optional>

namespace tavmor {

// The 1-based line of the first NUL byte in the source, or nothing. Regina takes a program held
// in memory as text that a NUL ends, so such a program cannot run as the bytes it is.
std::optional<std::size_t> lineOfFirstNul(const char* source, std::size_t size);

// Whether the source holds no clause at all: only blanks, line ends, semicolons, commas,
// complete comments and an opening "#!" line. Regina runs such a program from memory into a
// crash, where from a file it does nothing.
bool holdsNoClause(const char* source, std::size_t size);

}  // namespace tavmor
