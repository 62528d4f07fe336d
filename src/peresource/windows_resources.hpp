#pragma once
// A Windows program's icon and version information: written into a PE image, and read back.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exeformat/pe_headers.hpp"
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

// The PE image [image, image + size), which has nothing appended and whose headers are
// `headers`, with `wanted` in its resources. The resource section is rewritten where it is the
// image's last section, and added after the last otherwise; the checksum is left for the caller
// (updatePeChecksum), who knows the whole file. Fails with the reason when the headers or the
// resource tree are not sound or have no room.
Result<std::vector<unsigned char>> withWindowsResources(const unsigned char* image,
                                                        std::uint64_t size,
                                                        const PeHeaders& headers,
                                                        const WindowsResources& wanted);

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

// Reads the PE file [data, data + size), whose headers are `headers`, whatever follows its
// image; nothing when the headers are not sound (what is wrong with them is reported elsewhere).
// Never reads outside the file.
WindowsResourcesReport examineWindowsResources(const unsigned char* data, std::uint64_t size,
                                               const PeHeaders& headers);

}  // namespace tavmor
