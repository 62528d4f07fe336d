#include "util/utf16.hpp"

namespace tavmor {
namespace {

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3f));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

bool isSurrogate(char32_t c) { return c >= 0xd800 && c <= 0xdfff; }

}  // namespace

std::optional<std::u16string> utf16FromUtf8(std::string_view text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    char32_t c = lead;
    char32_t smallest = 0;
    if (lead >= 0xf0 && lead <= 0xf4) {
      length = 4, c = lead & 0x07, smallest = 0x10000;
    } else if (lead >= 0xe0 && lead <= 0xef) {
      length = 3, c = lead & 0x0f, smallest = 0x800;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
      length = 2, c = lead & 0x1f, smallest = 0x80;
    } else if (lead >= 0x80) {
      return std::nullopt;
    }
    if (length > text.size() - i) return std::nullopt;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80) return std::nullopt;
      c = c << 6 | (next & 0x3f);
    }
    if (c < smallest || c > 0x10ffff || isSurrogate(c)) return std::nullopt;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xd800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xdc00 + ((c - 0x10000) & 0x3ff));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += length;
  }
  return out;
}

std::string utf8FromUtf16(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xd800 && c <= 0xdbff && i + 1 < text.size() && text[i + 1] >= 0xdc00 &&
        text[i + 1] <= 0xdfff) {
      c = 0x10000 + ((c - 0xd800) << 10) + (text[++i] - 0xdc00);
    } else if (isSurrogate(c)) {
      c = 0xfffd;
    }
    appendUtf8(out, c);
  }
  return out;
}

}  // namespace tavmor
