#include "peresource/version_info.hpp"

#include <charconv>

#include "util/coding.hpp"

namespace tavmor {
namespace {

constexpr std::uint32_t kFixedSignature = 0xfeef04bd;
constexpr std::uint32_t kFixedStructVersion = 0x00010000;
constexpr std::uint64_t kFixedSize = 52;
constexpr std::uint32_t kFileFlagsMask = 0x3f;
constexpr std::uint32_t kOsNtWindows32 = 0x00040004;
constexpr std::uint32_t kFileTypeApp = 1;
constexpr std::uint16_t kBinary = 0;
constexpr std::uint16_t kText = 1;
constexpr std::uint64_t kBlockHeaderSize = 6;  // wLength, wValueLength, wType
constexpr std::uint16_t kLanguageUsEnglish = 0x0409;
constexpr std::uint16_t kCodePageUtf16 = 1200;
constexpr char16_t kTableKey[] = u"040904B0";  // the two, in hexadecimal

// One node of the block tree: a key, an optional value and child blocks, each aligned to four
// bytes from the start of the resource.
struct Block {
  std::u16string key;
  std::uint16_t type = kText;
  std::uint16_t valueLength = 0;  // in characters for text, in bytes otherwise
  std::vector<unsigned char> value;
  std::vector<Block> children;
};

void padTo4(std::vector<unsigned char>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

void appendText(std::vector<unsigned char>& out, std::u16string_view text) {
  for (const char16_t c : text) {
    out.push_back(static_cast<unsigned char>(c & 0xff));
    out.push_back(static_cast<unsigned char>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
}

void appendBlock(std::vector<unsigned char>& out, const Block& block) {
  const std::size_t start = out.size();
  out.resize(start + kBlockHeaderSize);
  appendText(out, block.key);
  padTo4(out);
  out.insert(out.end(), block.value.begin(), block.value.end());
  for (const Block& child : block.children) {
    padTo4(out);
    appendBlock(out, child);
  }
  encodeFixed16(out.data() + start, static_cast<std::uint16_t>(out.size() - start));
  encodeFixed16(out.data() + start + 2, block.valueLength);
  encodeFixed16(out.data() + start + 4, block.type);
}

Block textBlock(std::u16string key, std::u16string_view value) {
  Block block{std::move(key), kText, static_cast<std::uint16_t>(value.size() + 1), {}, {}};
  appendText(block.value, value);
  return block;
}

std::uint32_t high(const VersionNumber& v) { return std::uint32_t{v[0]} << 16 | v[1]; }
std::uint32_t low(const VersionNumber& v) { return std::uint32_t{v[2]} << 16 | v[3]; }

// A block as read: where its value and its children lie, within the bounds its parent allows.
struct ReadBlock {
  std::u16string key;
  std::uint16_t type = 0;
  std::uint64_t valueStart = 0;
  std::uint64_t valueEnd = 0;
  std::uint64_t childrenStart = 0;
  std::uint64_t end = 0;
};

std::uint64_t alignUp4(std::uint64_t offset) { return (offset + 3) & ~std::uint64_t{3}; }

// The block at offset, which must end by limit; its length, its key and its value are untrusted.
std::optional<ReadBlock> readBlock(const unsigned char* data, std::uint64_t offset,
                                   std::uint64_t limit) {
  if (offset > limit || limit - offset < kBlockHeaderSize) return std::nullopt;
  const std::uint64_t length = decodeFixed16(data + offset);
  if (length < kBlockHeaderSize || length > limit - offset) return std::nullopt;
  ReadBlock block;
  block.end = offset + length;
  const std::uint64_t valueLength = decodeFixed16(data + offset + 2);
  block.type = decodeFixed16(data + offset + 4);
  std::uint64_t at = offset + kBlockHeaderSize;
  for (;; at += 2) {
    if (at + 2 > block.end) return std::nullopt;
    const char16_t c = decodeFixed16(data + at);
    if (c == 0) break;
    block.key += c;
  }
  block.valueStart = std::min(alignUp4(at + 2), block.end);
  const std::uint64_t valueBytes = block.type == kText ? 2 * valueLength : valueLength;
  block.valueEnd = std::min(block.valueStart + valueBytes, block.end);
  block.childrenStart = std::min(alignUp4(block.valueEnd), block.end);
  return block;
}

// The children of parent, in order; nothing when one of them is malformed.
std::optional<std::vector<ReadBlock>> childrenOf(const unsigned char* data,
                                                 const ReadBlock& parent) {
  std::vector<ReadBlock> children;
  for (std::uint64_t at = parent.childrenStart; at < parent.end;) {
    const auto child = readBlock(data, at, parent.end);
    if (!child) return std::nullopt;
    children.push_back(*child);
    at = alignUp4(child->end);
  }
  return children;
}

}  // namespace

std::optional<VersionNumber> parseVersionNumber(std::string_view text) {
  VersionNumber version{};
  for (std::size_t part = 0; part < version.size(); ++part) {
    const std::size_t dot = text.find('.');
    const std::string_view digits = part + 1 < version.size() ? text.substr(0, dot) : text;
    if ((part + 1 < version.size()) == (dot == std::string_view::npos)) return std::nullopt;
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
      return std::nullopt;
    }
    unsigned value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (value > 0xffff) return std::nullopt;
    version[part] = static_cast<std::uint16_t>(value);
    if (dot != std::string_view::npos) text.remove_prefix(dot + 1);
  }
  return version;
}

std::string versionText(const VersionNumber& version) {
  return std::to_string(version[0]) + "." + std::to_string(version[1]) + "." +
         std::to_string(version[2]) + "." + std::to_string(version[3]);
}

Result<std::vector<unsigned char>> encodeVersionInfo(const VersionInfo& info) {
  Block root{u"VS_VERSION_INFO", kBinary, kFixedSize, std::vector<unsigned char>(kFixedSize), {}};
  const std::uint32_t fixed[] = {kFixedSignature,
                                 kFixedStructVersion,
                                 high(info.fileVersion),
                                 low(info.fileVersion),
                                 high(info.productVersion),
                                 low(info.productVersion),
                                 kFileFlagsMask,
                                 0,
                                 kOsNtWindows32,
                                 kFileTypeApp,
                                 0,
                                 0,
                                 0};
  for (std::size_t i = 0; i < std::size(fixed); ++i) encodeFixed32(&root.value[4 * i], fixed[i]);

  Block table{kTableKey, kText, 0, {}, {}};
  for (const auto& [name, value] : info.strings) table.children.push_back(textBlock(name, value));
  root.children.push_back(Block{u"StringFileInfo", kText, 0, {}, {std::move(table)}});
  Block translation{u"Translation", kBinary, 4, std::vector<unsigned char>(4), {}};
  encodeFixed16(translation.value.data(), kLanguageUsEnglish);
  encodeFixed16(translation.value.data() + 2, kCodePageUtf16);
  root.children.push_back(Block{u"VarFileInfo", kText, 0, {}, {std::move(translation)}});

  std::vector<unsigned char> out;
  appendBlock(out, root);
  // Every block lies inside the root, so the root's length is the one that overflows first.
  if (out.size() > kMostVersionInfoBytes) {
    return Status::failure(Status::Code::kUsage,
                           "the version information would take " + std::to_string(out.size()) +
                               " bytes, more than the " + std::to_string(kMostVersionInfoBytes) +
                               " a version resource holds");
  }
  return out;
}

std::optional<VersionInfo> decodeVersionInfo(const unsigned char* data, std::uint64_t size) {
  const auto root = readBlock(data, 0, size);
  if (!root || root->key != u"VS_VERSION_INFO" || root->valueEnd - root->valueStart < kFixedSize ||
      decodeFixed32(data + root->valueStart) != kFixedSignature) {
    return std::nullopt;
  }
  VersionInfo info;
  info.table.clear();
  const unsigned char* fixed = data + root->valueStart;
  const auto version = [](std::uint32_t ms, std::uint32_t ls) {
    return VersionNumber{static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms),
                         static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls)};
  };
  info.fileVersion = version(decodeFixed32(fixed + 8), decodeFixed32(fixed + 12));
  info.productVersion = version(decodeFixed32(fixed + 16), decodeFixed32(fixed + 20));
  const auto children = childrenOf(data, *root);
  if (!children) return std::nullopt;
  for (const ReadBlock& child : *children) {
    if (child.key != u"StringFileInfo") continue;
    const auto tables = childrenOf(data, child);
    if (!tables) return std::nullopt;
    if (tables->empty()) break;
    info.table = tables->front().key;
    const auto strings = childrenOf(data, tables->front());
    if (!strings) return std::nullopt;
    for (const ReadBlock& string : *strings) {
      std::u16string value;
      for (std::uint64_t at = string.valueStart; at + 2 <= string.valueEnd; at += 2) {
        const char16_t c = decodeFixed16(data + at);
        if (c == 0) break;
        value += c;
      }
      info.strings.emplace_back(string.key, std::move(value));
    }
    break;
  }
  return info;
}

}  // namespace tavmor
