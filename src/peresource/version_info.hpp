#pragma once
// The version resource (RT_VERSION): a VS_VERSIONINFO block, whose fixed part holds the file and
// product versions and whose string table the file's Properties show (CompanyName, ...).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/status.hpp"

namespace tavmor {

using VersionNumber = std::array<std::uint16_t, 4>;

struct VersionInfo {
  VersionNumber fileVersion{};
  VersionNumber productVersion{};
  // The string table's language and code page as its key spells them: "040904B0" for U.S.
  // English in UTF-16, which is what encodeVersionInfo writes whatever this says.
  std::u16string table = u"040904B0";
  std::vector<std::pair<std::u16string, std::u16string>> strings;  // name, value, in order
};

// "A.B.C.D", each a decimal number of 0 to 65535; nothing for anything else.
std::optional<VersionNumber> parseVersionNumber(std::string_view text);

// "1.2.3.4".
std::string versionText(const VersionNumber& version);

// The most bytes a VS_VERSIONINFO block holds: its length, and every block's in it, is 16-bit.
inline constexpr std::uint64_t kMostVersionInfoBytes = 0xffff;

// The VS_VERSIONINFO block of an application for any operating system since Windows NT, with no
// date (the same info always gives the same bytes) and a translation entry for the table. Fails
// with Status::Code::kUsage when the block would be longer than kMostVersionInfoBytes.
Result<std::vector<unsigned char>> encodeVersionInfo(const VersionInfo& info);

// The versions and the first string table of a VS_VERSIONINFO block; nothing when the block or
// its fixed part is malformed.
std::optional<VersionInfo> decodeVersionInfo(const unsigned char* data, std::uint64_t size);

}  // namespace tavmor
