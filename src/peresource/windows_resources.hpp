#pragma once
// A Windows program's icon and version information: written into a PE image, and read back.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "peresource/icon.hpp"
#include "peresource/version_info.hpp"
#include "util/status.hpp"

namespace tavmor {

// What to give an image. Each that is set replaces every resource of its kind the image has
// (an icon: all RT_ICON and RT_GROUP_ICON resources); the image's other resources stay.
struct WindowsResources {
  std::optional<std::vector<IconImage>> icon;
  std::optional<VersionInfo> version;
};

// The PE image [image, image + size), which has nothing appended, with `wanted` in its resources.
// The resource section is rewritten where it is the image's last section, and added after the
// last otherwise; the checksum is left for the caller, who knows the whole file. Fails with the
// reason when the image's headers or resource tree cannot be read or have no room.
Result<std::vector<unsigned char>> withWindowsResources(const unsigned char* image,
                                                        std::uint64_t size,
                                                        const WindowsResources& wanted);

// Sets the checksum field of the PE file [data, data + size) to the file's checksum; does
// nothing to a file whose PE headers cannot be read.
void updateChecksum(unsigned char* data, std::uint64_t size);

struct IconImageReport {
  IconEntry entry;  // as the icon group gives it
  bool png = false;
};

// The icon and version information a PE file shows in Explorer, and what is wrong with its
// resources, one sentence each.
struct WindowsResourcesReport {
  std::optional<std::vector<IconImageReport>> icon;  // the first icon group's images
  std::optional<VersionInfo> version;                // the first version resource
  std::vector<std::string> problems;
};

// Reads the PE file [data, data + size), whatever follows its image. Never reads outside it.
WindowsResourcesReport examineWindowsResources(const unsigned char* data, std::uint64_t size);

}  // namespace tavmor
