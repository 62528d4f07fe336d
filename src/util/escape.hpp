#pragma once
// Names from outside (argv[0], the environment, file names) shown inside one-line messages.

#include <cstdio>
#include <string>
#include <string_view>

namespace tavmor {

// Writes text to out with each control character spelled as \n, \r, \t or \xHH, so that no name
// can break the line it is shown in. Builds no string: it works when memory has run out.
void writeEscaped(std::FILE* out, std::string_view text);

// text escaped as writeEscaped writes it.
std::string escaped(std::string_view text);

}  // namespace tavmor
