#include "peresource/resource_tree.hpp"

#include <algorithm>
#include <map>
#include <tuple>

#include "util/coding.hpp"
#include "util/hex.hpp"

namespace tavmor {
namespace {

constexpr std::uint64_t kDirectorySize = 16;  // characteristics, date, version, two counts
constexpr std::uint64_t kEntrySize = 8;       // name or id, target
constexpr std::uint64_t kDataEntrySize = 16;  // address, size, code page, reserved
constexpr std::uint32_t kHighBit = 0x80000000;
constexpr int kLevels = 3;  // type, name, language
// Tables can share subtrees, so a small file can describe a huge tree: reading stops here.
// Programs hold a few thousand resources at the most.
constexpr std::uint64_t kMostEntries = 1 << 18;
// A table's counts of named and of numbered entries are 16-bit.
constexpr std::uint64_t kMostTableEntries = 0xffff;

struct TreeReader {
  const unsigned char* data;
  std::uint64_t fileSize;
  const PeHeaders& headers;
  FileRange tree;  // the root table up to the end of its section's data
  std::vector<Resource> resources;
  std::uint64_t entries = 0;
  std::uint64_t dataBytes = 0;
  std::map<std::uint64_t, std::shared_ptr<const std::u16string>> names;  // by offset
  std::uint64_t nameBytes = 0;

  bool fits(std::uint64_t offset, std::uint64_t length) const {
    return offset <= tree.end - tree.offset && length <= tree.end - tree.offset - offset;
  }

  // Each string is read once, however many entries name it. Strings at different offsets may
  // still overlap, so what they take together is held to the file's size.
  Result<ResourceId> readId(std::uint32_t field) {
    ResourceId id;
    if ((field & kHighBit) == 0) {
      id.number = field;
      return id;
    }
    const std::uint64_t at = field & ~kHighBit;
    id.named = true;
    if (const auto known = names.find(at); known != names.end()) {
      id.name = known->second;
      return id;
    }
    if (!fits(at, 2) || !fits(at + 2, 2 * std::uint64_t{decodeFixed16(data + tree.offset + at)})) {
      return Status::failure("a resource name lies outside the resource section");
    }
    const unsigned char* text = data + tree.offset + at;
    std::u16string name(decodeFixed16(text), u'\0');
    nameBytes += 2 + 2 * name.size();
    if (nameBytes > fileSize) {
      return Status::failure("the resource names overlap and add up to more than the file holds");
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
      name[i] = static_cast<char16_t>(decodeFixed16(text + 2 + 2 * i));
    }
    id.name =
        names.emplace(at, std::make_shared<const std::u16string>(std::move(name))).first->second;
    return id;
  }

  Status readData(std::uint32_t at, Resource& resource) {
    if (!fits(at, kDataEntrySize)) {
      return Status::failure("a resource data entry lies outside the resource section");
    }
    const unsigned char* entry = data + tree.offset + at;
    const std::uint32_t rva = decodeFixed32(entry);
    const std::uint32_t size = decodeFixed32(entry + 4);
    resource.codePage = decodeFixed32(entry + 8);
    const auto range = fileRangeAt(headers, fileSize, rva);
    if (size != 0 && (!range || size > range->end - range->offset)) {
      return Status::failure("the data of a resource (address 0x" + hexNumber(rva) + ", " +
                             std::to_string(size) + " bytes) lies outside the sections");
    }
    dataBytes += size;
    if (dataBytes > fileSize) {
      return Status::failure("the resources' data add up to more than the file holds");
    }
    if (size != 0) resource.data.assign(data + range->offset, data + range->offset + size);
    resources.push_back(resource);
    return Status::success();
  }

  Status readTable(std::uint32_t at, int level, Resource& resource) {
    if (!fits(at, kDirectorySize)) {
      return Status::failure("a resource table lies outside the resource section");
    }
    const unsigned char* table = data + tree.offset + at;
    const std::uint64_t named = decodeFixed16(table + 12);
    const std::uint64_t count = named + decodeFixed16(table + 14);
    if (!fits(at + kDirectorySize, count * kEntrySize)) {
      return Status::failure("a resource table runs past the end of the resource section");
    }
    entries += count;
    if (entries > kMostEntries) return Status::failure("the resource tree has too many entries");
    std::optional<ResourceId> previous;
    for (std::uint64_t i = 0; i < count; ++i) {
      const unsigned char* entry = table + kDirectorySize + i * kEntrySize;
      const std::uint32_t name = decodeFixed32(entry);
      const std::uint32_t target = decodeFixed32(entry + 4);
      // Windows looks resources up by binary search: strings first, then numbers, ascending.
      if (((name & kHighBit) != 0) != (i < named)) {
        return Status::failure("a resource table mixes up its named and numbered entries");
      }
      const Result<ResourceId> id = readId(name);
      if (!id.ok()) return id.status();
      if (!id->named && previous && !previous->named && !(*previous < *id)) {
        return Status::failure("a resource table's entries are out of order");
      }
      previous = *id;
      if (level == 0) resource.type = *id;
      if (level == 1) resource.name = *id;
      if (level == 2) {
        if (id->named) return Status::failure("a resource language is a string");
        resource.language = id->number;
      }
      const bool isTable = (target & kHighBit) != 0;
      if (isTable != (level + 1 < kLevels)) {
        return Status::failure("the resource tree is not three levels deep");
      }
      const Status read =
          isTable ? readTable(target & ~kHighBit, level + 1, resource) : readData(target, resource);
      if (!read.ok()) return read;
    }
    return Status::success();
  }
};

struct Node {
  ResourceId id;
  const Resource* resource = nullptr;  // for a leaf
  std::vector<Node> children;
  std::uint32_t offset = 0;      // of its table, or its data entry
  std::uint32_t nameOffset = 0;  // of its name, when it has one
  std::uint32_t dataOffset = 0;  // of a leaf's data
};

std::uint64_t alignUp8(std::uint64_t n) { return (n + 7) & ~std::uint64_t{7}; }

}  // namespace

bool operator<(const ResourceId& a, const ResourceId& b) {
  if (a.named != b.named) return a.named;
  if (!a.named) return a.number < b.number;
  return a.name != b.name && a.text() < b.text();  // one shared string is not compared
}

Result<std::vector<Resource>> readResources(const unsigned char* data, std::uint64_t size,
                                            const PeHeaders& headers) {
  const auto directory = dataDirectory(headers, data, kResourceDirectory);
  if (!directory || directory->rva == 0) return std::vector<Resource>();
  const auto tree = fileRangeAt(headers, size, directory->rva);
  if (!tree) return Status::failure("the resource directory lies outside the sections");
  TreeReader reader{data, size, headers, *tree, {}, 0, 0, {}, 0};
  Resource resource;
  const Status read = reader.readTable(0, 0, resource);
  if (!read.ok()) return read;
  return std::move(reader.resources);
}

Result<std::vector<unsigned char>> encodeResources(std::vector<Resource> resources,
                                                   std::uint32_t rva) {
  const auto key = [](const Resource& r) { return std::tie(r.type, r.name, r.language); };
  std::stable_sort(resources.begin(), resources.end(),
                   [&](const Resource& a, const Resource& b) { return key(a) < key(b); });
  resources.erase(
      std::unique(resources.begin(), resources.end(),
                  [&](const Resource& a, const Resource& b) { return key(a) == key(b); }),
      resources.end());
  Node root;
  for (const Resource& r : resources) {
    if (root.children.empty() || !(root.children.back().id == r.type)) {
      root.children.push_back(Node{r.type, nullptr, {}, 0, 0, 0});
    }
    Node& type = root.children.back();
    if (type.children.empty() || !(type.children.back().id == r.name)) {
      type.children.push_back(Node{r.name, nullptr, {}, 0, 0, 0});
    }
    type.children.back().children.push_back(
        Node{ResourceId{false, r.language, {}}, &r, {}, 0, 0, 0});
  }

  // Tables level by level, then the data entries, the names, and the data, each aligned.
  std::vector<Node*> tables = {&root};
  std::vector<Node*> leaves;
  for (std::size_t i = 0; i < tables.size(); ++i) {
    for (Node& child : tables[i]->children) (child.resource ? leaves : tables).push_back(&child);
  }
  // Sizes are summed in 64 bits: a stub's tree may name one long string from many tables.
  std::uint64_t size = 0;
  for (Node* table : tables) {
    const auto named = std::count_if(table->children.begin(), table->children.end(),
                                     [](const Node& n) { return n.id.named; });
    if (static_cast<std::uint64_t>(named) > kMostTableEntries ||
        table->children.size() - static_cast<std::uint64_t>(named) > kMostTableEntries) {
      return Status::failure("a resource table would have more than " +
                             std::to_string(kMostTableEntries) + " entries of a kind");
    }
    table->offset = static_cast<std::uint32_t>(size);
    size += kDirectorySize + kEntrySize * table->children.size();
  }
  for (Node* leaf : leaves) {
    leaf->offset = static_cast<std::uint32_t>(size);
    size += kDataEntrySize;
  }
  for (Node* table : tables) {
    if (table->id.named) {
      table->nameOffset = static_cast<std::uint32_t>(size);
      size += 2 + 2 * table->id.text().size();
    }
  }
  for (Node* leaf : leaves) {
    size = alignUp8(size);
    leaf->dataOffset = static_cast<std::uint32_t>(size);
    size += leaf->resource->data.size();
    if (size > kMostResourceSectionBytes) break;
  }
  if (size > kMostResourceSectionBytes) {
    return Status::failure("its resources would take more than " +
                           std::to_string(kMostResourceSectionBytes) + " bytes");
  }

  std::vector<unsigned char> out(size);
  unsigned char* base = out.data();
  for (const Node* table : tables) {
    unsigned char* header = base + table->offset;
    const auto named = std::count_if(table->children.begin(), table->children.end(),
                                     [](const Node& n) { return n.id.named; });
    encodeFixed16(header + 12, static_cast<std::uint16_t>(named));
    encodeFixed16(header + 14, static_cast<std::uint16_t>(table->children.size() - named));
    unsigned char* entry = header + kDirectorySize;
    for (const Node& child : table->children) {
      encodeFixed32(entry, child.id.named ? kHighBit | child.nameOffset : child.id.number);
      encodeFixed32(entry + 4, child.resource ? child.offset : kHighBit | child.offset);
      entry += kEntrySize;
    }
    if (table->id.named) {
      unsigned char* name = base + table->nameOffset;
      const std::u16string_view text = table->id.text();
      encodeFixed16(name, static_cast<std::uint16_t>(text.size()));
      for (std::size_t i = 0; i < text.size(); ++i) encodeFixed16(name + 2 + 2 * i, text[i]);
    }
  }
  for (const Node* leaf : leaves) {
    const std::vector<unsigned char>& data = leaf->resource->data;
    encodeFixed32(base + leaf->offset, rva + leaf->dataOffset);
    encodeFixed32(base + leaf->offset + 4, static_cast<std::uint32_t>(data.size()));
    encodeFixed32(base + leaf->offset + 8, leaf->resource->codePage);
    std::copy(data.begin(), data.end(), base + leaf->dataOffset);
  }
  return out;
}

}  // namespace tavmor
