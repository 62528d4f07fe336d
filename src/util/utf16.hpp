#pragma once
// Text as UTF-16 (little-endian code units), the form Windows resources store it in.

#include <optional>
#include <string>
#include <string_view>

namespace tavmor {

// text, UTF-8, as UTF-16; nothing when it is not valid UTF-8 (overlong forms and surrogates
// included).
std::optional<std::u16string> utf16FromUtf8(std::string_view text);

// text as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8FromUtf16(std::u16string_view text);

}  // namespace tavmor
