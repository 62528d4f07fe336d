#include "peresource/windows_resources.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "peresource/pe_image.hpp"
#include "peresource/resource_tree.hpp"
#include "support/images.hpp"
#include "util/coding.hpp"

namespace tavmor {
namespace {

using test::putLe;

constexpr std::uint32_t kResourceRva = 0x2000;
constexpr std::size_t kResourceRaw = 0x600;
constexpr std::size_t kOptional = 0x84 + 20;
constexpr std::size_t kSectionTable = kOptional + 240;

std::uint32_t alignUp(std::uint64_t n, std::uint32_t alignment) {
  return static_cast<std::uint32_t>((n + alignment - 1) / alignment * alignment);
}

// A PE32+ image laid out as a linker lays one out: .text, then .rsrc holding `tree` (for the
// address 0x2000), then .reloc unless the resources come last; sections aligned to 0x1000 in
// memory and to 0x200 in the file.
std::string stubImage(const std::vector<unsigned char>& tree, bool resourcesLast) {
  std::string image(kResourceRaw, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  putLe(image, 0x3c, 0x80, 4);
  image.replace(0x80, 4, std::string("PE\0\0", 4));
  putLe(image, 0x84, 0x8664, 2);
  putLe(image, 0x84 + 16, 240, 2);
  putLe(image, kOptional, 0x20b, 2);
  putLe(image, kOptional + 32, 0x1000, 4);  // SectionAlignment
  putLe(image, kOptional + 36, 0x200, 4);   // FileAlignment
  putLe(image, kOptional + 60, 0x400, 4);   // SizeOfHeaders
  putLe(image, kOptional + 108, 16, 4);
  putLe(image, kOptional + 112 + 8 * 2, kResourceRva, 4);
  putLe(image, kOptional + 112 + 8 * 2 + 4, tree.size(), 4);
  struct Section {
    const char* name;
    std::uint32_t address;
    std::uint64_t size;
    std::size_t raw;
  };
  const std::uint32_t treeRaw = alignUp(tree.size(), 0x200);
  std::vector<Section> sections = {{".text", 0x1000, 0x100, 0x400},
                                   {".rsrc", kResourceRva, tree.size(), kResourceRaw}};
  if (!resourcesLast) {
    sections.push_back(
        {".reloc", alignUp(kResourceRva + tree.size(), 0x1000), 0x10, kResourceRaw + treeRaw});
  }
  putLe(image, 0x84 + 2, sections.size(), 2);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const std::size_t header = kSectionTable + 40 * i;
    image.replace(header, std::strlen(sections[i].name), sections[i].name);
    putLe(image, header + 8, sections[i].size, 4);
    putLe(image, header + 12, sections[i].address, 4);
    putLe(image, header + 16, alignUp(sections[i].size, 0x200), 4);
    putLe(image, header + 20, sections[i].raw, 4);
    image.resize(sections[i].raw + alignUp(sections[i].size, 0x200), '\x90');
  }
  image.replace(kResourceRaw, tree.size(), std::string(tree.begin(), tree.end()));
  putLe(image, kOptional + 56, alignUp(sections.back().address + sections.back().size, 0x1000), 4);
  return image;
}

Resource resource(std::uint32_t type, ResourceId name, const std::string& data) {
  return Resource{ResourceId{false, type, {}}, std::move(name), 0x409, 0,
                  std::vector<unsigned char>(data.begin(), data.end())};
}

// A manifest, and data under a name, as a stub might carry them.
std::vector<unsigned char> stubTree() {
  return *encodeResources({resource(kResourceManifest, {false, 1, {}}, "<assembly/>"),
                           resource(10, ResourceId::string(u"CONFIG"), "config")},
                          kResourceRva);
}

const std::string kIcon =
    test::iconFile({test::bitmapIconImage(16, 16, 32), test::pngImage(256, 256)});

WindowsResources wanted(VersionNumber version) {
  WindowsResources resources;
  resources.icon =
      *parseIconFile(reinterpret_cast<const unsigned char*>(kIcon.data()), kIcon.size());
  resources.version.emplace();
  resources.version->fileVersion = resources.version->productVersion = version;
  resources.version->strings = {{u"ProductName", u"Hello"}};
  return resources;
}

const unsigned char* bytesOf(const std::string& image) {
  return reinterpret_cast<const unsigned char*>(image.data());
}

PeHeaders headersOf(const std::string& image) {
  return readPeHeaders(bytesOf(image), image.size()).value();
}

Result<std::vector<unsigned char>> give(const std::string& image,
                                        const WindowsResources& resources) {
  return withWindowsResources(bytesOf(image), image.size(), headersOf(image), resources);
}

WindowsResourcesReport examine(const std::string& image) {
  return examineWindowsResources(bytesOf(image), image.size(), headersOf(image));
}

TEST(WindowsResources, JoinTheStubsOwnWhereverItsResourceSectionLies) {
  for (const bool resourcesLast : {true, false}) {
    SCOPED_TRACE(resourcesLast ? "resources last" : "relocations last");
    const std::string stub = stubImage(stubTree(), resourcesLast);
    const auto out = give(stub, wanted({1, 2, 3, 4}));
    ASSERT_TRUE(out.ok()) << out.status().message();
    const auto headers = readPeHeaders(out->data(), out->size());
    ASSERT_TRUE(headers);
    // A section that is not last cannot grow: a new one follows the last.
    ASSERT_EQ(headers->sections.size(), resourcesLast ? 2u : 4u);
    const PeSection& last = headers->sections.back();
    EXPECT_EQ(last.virtualAddress, resourcesLast ? kResourceRva : 0x4000u);
    EXPECT_EQ(std::uint64_t{last.rawPointer} + last.rawSize, out->size());
    EXPECT_EQ(decodeFixed32(out->data() + kOptional + 56),
              alignUp(std::uint64_t{last.virtualAddress} + last.virtualSize, 0x1000));
    const auto directory = dataDirectory(*headers, out->data(), kResourceDirectory);
    EXPECT_EQ(directory->rva, last.virtualAddress);
    EXPECT_EQ(directory->size, last.virtualSize);
    EXPECT_EQ(std::string(out->begin() + 0x400, out->begin() + kResourceRaw),
              stub.substr(0x400, kResourceRaw - 0x400));  // the code is where it was

    const auto resources = readResources(out->data(), out->size(), *headers);
    ASSERT_TRUE(resources.ok()) << resources.status().message();
    ASSERT_EQ(resources->size(), 6u);  // two icon images, config, icon group, version, manifest
    EXPECT_EQ((*resources)[2].name.text(), u"CONFIG");
    EXPECT_EQ(std::string((*resources)[5].data.begin(), (*resources)[5].data.end()), "<assembly/>");
    const WindowsResourcesReport report = examine(std::string(out->begin(), out->end()));
    EXPECT_TRUE(report.problems.empty());
    ASSERT_TRUE(report.icon);
    ASSERT_EQ(report.icon->size(), 2u);
    EXPECT_FALSE((*report.icon)[0].png);
    EXPECT_TRUE((*report.icon)[1].png);
    ASSERT_TRUE(report.version);
    EXPECT_EQ(report.version->fileVersion, (VersionNumber{1, 2, 3, 4}));

    // Repacking replaces what the first round added, in place: the same bytes as one round.
    const std::string once(out->begin(), out->end());
    const auto again = give(once, wanted({2, 0, 0, 0}));
    ASSERT_TRUE(again.ok()) << again.status().message();
    EXPECT_TRUE(*again == *give(stub, wanted({2, 0, 0, 0}))) << "not as from the stub";
  }
}

TEST(WindowsResources, RefuseATreeThatLiesOrHeadersWithoutRoom) {
  const std::vector<unsigned char> tree = stubTree();
  // stubTree's layout: the root (two entries: 10, 24) at 0, the two type tables at 32 and 56,
  // the two name tables at 80 and 104, the two data entries at 128 and 144.
  struct Case {
    const char* name;
    std::size_t offset;  // into the tree
    std::uint32_t value;
    const char* why;
  };
  const Case cases[] = {
      {"more entries than the section holds", 14, 0xffff, "runs past the end"},
      {"types out of order", 16, 30, "out of order"},
      {"a number marked as a name", 16, 0x8000000a, "mixes up"},
      {"a name far outside", 32 + 16, 0x80ffff00, "name lies outside"},
      {"a table outside", 20, 0x8000fff0, "table lies outside"},
      {"data at the second level", 20, 32, "three levels"},
      {"a loop back to the root", 20, 0x80000000, "three levels"},
      {"data outside every section", 128, 0x9000, "(address 0x9000, "},
      {"data longer than its section", 128 + 4, 0x10000, "lies outside the sections"},
      {"a data entry outside", 80 + 20, 0x7ff0, "data entry lies outside"},
  };
  for (const Case& c : cases) {
    std::string image = stubImage(tree, false);
    putLe(image, kResourceRaw + c.offset, c.value, 4);
    const auto* data = reinterpret_cast<const unsigned char*>(image.data());
    const auto resources = readResources(data, image.size(), *readPeHeaders(data, image.size()));
    ASSERT_FALSE(resources.ok()) << c.name;
    EXPECT_NE(resources.status().message().find(c.why), std::string::npos)
        << c.name << ": " << resources.status().message();
    EXPECT_FALSE(give(image, wanted({1, 0, 0, 0})).ok()) << c.name;
    const auto problems = examine(image).problems;
    ASSERT_EQ(problems.size(), 1u) << c.name;
    EXPECT_EQ(problems[0].rfind("the resource tree is malformed: ", 0), 0u) << problems[0];
  }

  // Whatever byte of the tree changes, reading stays inside the file (the sanitizers watch).
  for (std::size_t i = 0; i < tree.size(); ++i) {
    for (const char value : {'\x00', '\x01', '\x80', '\xff'}) {
      std::string image = stubImage(tree, false);
      image[kResourceRaw + i] = value;
      (void)examine(image);
    }
  }

  // Tables may share subtrees: 65535 types, each naming the same 65535 empty tables, would take
  // hours to walk.
  std::vector<unsigned char> fan(2 * (16 + 8 * 0xffff) + 16);
  const std::size_t shared = 16 + 8 * 0xffff;
  for (const std::size_t table : {std::size_t{0}, shared}) {
    encodeFixed16(&fan[table + 14], 0xffff);
    for (std::uint32_t i = 0; i < 0xffff; ++i) {
      encodeFixed32(&fan[table + 16 + 8 * i], i + 1);
      encodeFixed32(&fan[table + 20 + 8 * i],
                    0x80000000 | static_cast<std::uint32_t>(table == 0 ? shared : 2 * shared));
    }
  }
  const std::string huge = stubImage(fan, true);
  const auto* data = reinterpret_cast<const unsigned char*>(huge.data());
  const auto resources = readResources(data, huge.size(), *readPeHeaders(data, huge.size()));
  ASSERT_FALSE(resources.ok());
  EXPECT_NE(resources.status().message().find("too many entries"), std::string::npos);

  // One string named by every type and name is read once; strings that overlap may not add up
  // to more than the file.
  for (const bool overlapping : {false, true}) {
    const std::string named = test::sharedNameResourceImage(4000, 2, overlapping);
    const auto* bytes = reinterpret_cast<const unsigned char*>(named.data());
    const auto read = readResources(bytes, named.size(), *readPeHeaders(bytes, named.size()));
    if (overlapping) {
      ASSERT_FALSE(read.ok());
      EXPECT_NE(read.status().message().find("names overlap"), std::string::npos);
      continue;
    }
    ASSERT_TRUE(read.ok()) << read.status().message();
    ASSERT_EQ(read->size(), 8000u);
    EXPECT_EQ(read->front().type.text().size(), 0xffffu);
    EXPECT_EQ(read->front().type.name, read->back().name.name);  // the same string, not a copy
  }

  // A well-formed tree whose icon group names images that are missing, and whose version
  // resource is no VS_VERSIONINFO block.
  const auto group = encodeIconGroup(*wanted({1, 0, 0, 0}).icon, 7);
  const std::string broken = stubImage(
      *encodeResources(
          {resource(kResourceIconGroup, {false, 1, {}}, std::string(group.begin(), group.end())),
           resource(kResourceVersion, {false, 1, {}}, "no version")},
          kResourceRva),
      true);
  EXPECT_EQ(examine(broken).problems,
            (std::vector<std::string>{
                "the icon group names 2 icon image(s) the file does not hold (the first: 7)",
                "the version resource is malformed"}));

  // A new section needs an unused entry in the section table before the first section's data.
  std::string crowded = stubImage(tree, false);
  crowded[kSectionTable + 3 * 40 + 39] = 1;
  const auto placed = give(crowded, wanted({1, 0, 0, 0}));
  ASSERT_FALSE(placed.ok());
  EXPECT_NE(placed.status().message().find("no room for another section"), std::string::npos);
}

}  // namespace
}  // namespace tavmor
