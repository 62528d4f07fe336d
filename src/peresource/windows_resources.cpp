#include "peresource/windows_resources.hpp"

#include <algorithm>
#include <map>

#include "peresource/pe_image.hpp"
#include "peresource/resource_tree.hpp"

namespace tavmor {
namespace {

constexpr std::uint32_t kLanguageUsEnglish = 0x0409;
constexpr std::uint16_t kIconGroupId = 1;
constexpr std::uint32_t kVersionId = 1;

Resource numbered(std::uint32_t type, std::uint32_t name, std::vector<unsigned char> data) {
  return Resource{ResourceId{false, type, {}}, ResourceId{false, name, {}}, kLanguageUsEnglish, 0,
                  std::move(data)};
}

bool isType(const Resource& r, std::uint32_t type) {
  return !r.type.named && r.type.number == type;
}

}  // namespace

Result<std::vector<unsigned char>> withWindowsResources(const unsigned char* image,
                                                        std::uint64_t size,
                                                        const PeHeaders& headers,
                                                        const WindowsResources& wanted) {
  if (const Status sound = checkPeHeaders(headers, size); !sound.ok()) return sound;
  Result<std::vector<Resource>> resources = readResources(image, size, headers);
  if (!resources.ok()) return Status::failure("its resources: " + resources.status().message());
  std::erase_if(*resources, [&](const Resource& r) {
    return (wanted.icon && (isType(r, kResourceIcon) || isType(r, kResourceIconGroup))) ||
           (wanted.version && isType(r, kResourceVersion));
  });
  if (wanted.icon) {
    resources->push_back(
        numbered(kResourceIconGroup, kIconGroupId, encodeIconGroup(*wanted.icon, kIconGroupId)));
    for (std::size_t i = 0; i < wanted.icon->size(); ++i) {
      resources->push_back(numbered(kResourceIcon, static_cast<std::uint32_t>(kIconGroupId + i),
                                    (*wanted.icon)[i].bytes));
    }
  }
  if (wanted.version) {
    Result<std::vector<unsigned char>> version = encodeVersionInfo(*wanted.version);
    if (!version.ok()) return version.status();
    resources->push_back(numbered(kResourceVersion, kVersionId, std::move(*version)));
  }
  std::vector<unsigned char> out(image, image + size);
  const Result<SectionSlot> slot = resourceSectionSlot(out, headers);
  if (!slot.ok()) return slot.status();
  const Result<std::vector<unsigned char>> section =
      encodeResources(std::move(*resources), slot->virtualAddress);
  if (!section.ok()) return section.status();
  installResourceSection(out, headers, *slot, *section);
  return out;
}

WindowsResourcesReport examineWindowsResources(const unsigned char* data, std::uint64_t size,
                                               const PeHeaders& headers) {
  WindowsResourcesReport report;
  if (!checkPeHeaders(headers, size).ok()) return report;
  const Result<std::vector<Resource>> resources = readResources(data, size, headers);
  if (!resources.ok()) {
    report.problems.push_back("the resource tree is malformed: " + resources.status().message());
    return report;
  }
  const auto first = [&](std::uint32_t type) {
    return std::find_if(resources->begin(), resources->end(),
                        [&](const Resource& r) { return isType(r, type); });
  };
  if (const auto group = first(kResourceIconGroup); group != resources->end()) {
    const auto entries = decodeIconGroup(group->data.data(), group->data.size());
    if (!entries) report.problems.push_back("the icon group resource is malformed");
    std::map<std::uint32_t, const Resource*> images;
    for (const Resource& r : *resources) {
      if (isType(r, kResourceIcon) && !r.name.named) images.emplace(r.name.number, &r);
    }
    std::vector<std::uint16_t> missing;
    for (const IconEntry& entry : entries.value_or(std::vector<IconEntry>())) {
      const auto image = images.find(entry.id);
      if (image == images.end()) {
        missing.push_back(entry.id);
        continue;
      }
      const std::vector<unsigned char>& bytes = image->second->data;
      if (!report.icon) report.icon.emplace();
      report.icon->push_back({entry, isPngImage(bytes.data(), bytes.size())});
    }
    if (!missing.empty()) {
      report.problems.push_back("the icon group names " + std::to_string(missing.size()) +
                                " icon image(s) the file does not hold (the first: " +
                                std::to_string(missing.front()) + ")");
    }
  }
  if (const auto version = first(kResourceVersion); version != resources->end()) {
    report.version = decodeVersionInfo(version->data.data(), version->data.size());
    if (!report.version) report.problems.push_back("the version resource is malformed");
  }
  return report;
}

}  // namespace tavmor
