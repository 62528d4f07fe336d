// UTF-16 (little-endian) to and from UTF-8, into stem.!TEXT.
#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

void appendUtf8(std::string& out, unsigned long c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xc0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xe0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    out += static_cast<char>(0xf0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    out += static_cast<char>(0x80 | (c & 0x3f));
  }
}

void appendUtf16(std::string& out, unsigned long c) {
  auto unit = [&out](unsigned long u) {
    out += static_cast<char>(u & 0xff);
    out += static_cast<char>(u >> 8);
  };
  if (c >= 0x10000) {
    unit(0xd800 + ((c - 0x10000) >> 10));
    unit(0xdc00 + ((c - 0x10000) & 0x3ff));
  } else {
    unit(c);
  }
}

std::string utf8ToUtf16(std::string_view in) {
  std::string out;
  for (std::size_t i = 0; i < in.size();) {
    const unsigned char b = static_cast<unsigned char>(in[i]);
    const int extra = b >= 0xf0 ? 3 : b >= 0xe0 ? 2 : b >= 0xc0 ? 1 : 0;
    unsigned long c = extra == 0 ? b : b & (0x3f >> extra);
    std::size_t j = 1;
    for (; j <= static_cast<std::size_t>(extra) && i + j < in.size(); ++j) {
      c = (c << 6) | (static_cast<unsigned char>(in[i + j]) & 0x3f);
    }
    appendUtf16(out, c);
    i += j;
  }
  return out;
}

std::string utf16ToUtf8(std::string_view in) {
  std::string out;
  for (std::size_t i = 0; i + 1 < in.size(); i += 2) {
    unsigned long c = static_cast<unsigned char>(in[i]) |
                      (static_cast<unsigned long>(static_cast<unsigned char>(in[i + 1])) << 8);
    if (c >= 0xd800 && c < 0xdc00 && i + 3 < in.size()) {
      const unsigned long low =
          static_cast<unsigned char>(in[i + 2]) |
          (static_cast<unsigned long>(static_cast<unsigned char>(in[i + 3])) << 8);
      c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
      i += 2;
    }
    appendUtf8(out, c);
  }
  return out;
}

// regutil leaves Regina's result buffer as it found it: RXAUTOBUFLEN zero bytes.
APIRET untouchedResult(PRXSTRING result) {
  return setResult(result, std::string(RXAUTOBUFLEN, '\0'));
}

}  // namespace

// SysToUnicode(string, codepage, flags, stem)
APIRET sysToUnicode(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(4, 4)) return kBadCall;
  const bool utf8 = upper(args.text(1)) == "UTF8";
  setVariable(stemName(args.text(3)) + "!TEXT",
              utf8 ? utf8ToUtf16(args.text(0)) : std::string(args.text(0)));
  return untouchedResult(result);
}

// SysFromUnicode(string, codepage, flags, default, stem)
APIRET sysFromUnicode(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(5, 5)) return kBadCall;
  setVariable(stemName(args.text(4)) + "!TEXT", utf16ToUtf8(args.text(0)));
  return untouchedResult(result);
}

}  // namespace tavmor::rexxutil
