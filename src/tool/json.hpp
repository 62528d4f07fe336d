#pragma once
// Writing JSON text.

#include <string>

namespace tavmor::json {

// text as a JSON string literal, quotes included. Bytes that are not valid UTF-8 (a file name
// on POSIX can hold any) become U+FFFD, so the result is always valid JSON.
std::string quote(const std::string& text);

}  // namespace tavmor::json
