#include "util/escape.hpp"

#include "util/hex.hpp"

namespace tavmor {
namespace {

bool isControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

// Spells the control character c into out; returns the length of the spelling (2 or 4).
std::size_t spell(unsigned char c, char* out) {
  out[0] = '\\';
  switch (c) {
    case '\n':
      out[1] = 'n';
      return 2;
    case '\r':
      out[1] = 'r';
      return 2;
    case '\t':
      out[1] = 't';
      return 2;
    default:
      break;
  }
  out[1] = 'x';
  encodeHex(&c, 1, out + 2);
  return 4;
}

}  // namespace

void writeEscaped(std::FILE* out, std::string_view text) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (!isControl(c)) continue;
    std::fwrite(text.data() + start, 1, i - start, out);
    char escape[4];
    std::fwrite(escape, 1, spell(c, escape), out);
    start = i + 1;
  }
  std::fwrite(text.data() + start, 1, text.size() - start, out);
}

std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (!isControl(static_cast<unsigned char>(c))) {
      out += c;
      continue;
    }
    char escape[4];
    out.append(escape, spell(static_cast<unsigned char>(c), escape));
  }
  return out;
}

}  // namespace tavmor
