#pragma once
// A PE image's resources: the three-level tree of the resource section (type, name, language),
// read into a list and written back from one.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exeformat/pe_headers.hpp"
#include "util/status.hpp"

namespace tavmor {

inline constexpr std::uint32_t kResourceIcon = 3;
inline constexpr std::uint32_t kResourceIconGroup = 14;
inline constexpr std::uint32_t kResourceVersion = 16;
inline constexpr std::uint32_t kResourceManifest = 24;

// The most bytes a resource section written here holds: far more than any icon and version
// need, and far below what a section's 32-bit sizes hold.
inline constexpr std::uint64_t kMostResourceSectionBytes = std::uint64_t{1} << 30;

// A resource's type or name: a number or a string.
struct ResourceId {
  bool named = false;
  std::uint32_t number = 0;
  // A string's text, shared by every resource that has it: a tree may name one string of 65535
  // characters from thousands of entries.
  std::shared_ptr<const std::u16string> name;

  static ResourceId string(std::u16string text) {
    return {true, 0, std::make_shared<const std::u16string>(std::move(text))};
  }
  std::u16string_view text() const { return name ? std::u16string_view(*name) : u""; }
  friend bool operator==(const ResourceId& a, const ResourceId& b) {
    return a.named == b.named && a.number == b.number && (a.name == b.name || a.text() == b.text());
  }
};
// The order of a resource directory: strings first, then numbers, each ascending.
bool operator<(const ResourceId& a, const ResourceId& b);

struct Resource {
  ResourceId type;
  ResourceId name;
  std::uint32_t language = 0;
  std::uint32_t codePage = 0;
  std::vector<unsigned char> data;
};

// The resources of the PE file [data, data + size) in the tree's order, none when it has no
// resource directory; what they hold in memory is bounded by size. Fails, saying why, when the
// tree is not well formed: a table, string or data that lies outside the sections' data, entries
// out of order, a tree deeper or shallower than three levels, more entries than the file could
// hold, or names or data that overlap so much that they add up to more than the file.
Result<std::vector<Resource>> readResources(const unsigned char* data, std::uint64_t size,
                                            const PeHeaders& headers);

// The bytes of a resource section at address rva that holds resources, sorted as the format
// requires (of two with the same type, name and language, the first). No time stamps. Fails when
// a table would hold more entries than its 16-bit counts, or the section more than
// kMostResourceSectionBytes.
Result<std::vector<unsigned char>> encodeResources(std::vector<Resource> resources,
                                                   std::uint32_t rva);

}  // namespace tavmor
