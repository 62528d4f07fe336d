#include "platform/path.hpp"
#include "staging/staging.hpp"

namespace tavmor {
namespace {

// The longest name a directory entry holds on common file systems (ext4, tmpfs, XFS, NTFS): in
// bytes on POSIX, in UTF-16 units on Windows, which is what a native path counts.
constexpr std::size_t kMaxFileNameLength = 255;

// ".NAME.tmp" for a launcher started as argv0, as UTF-8. Nothing when argv0 is not UTF-8 on a
// platform whose paths are UTF-16: such a name cannot be spelled there.
std::optional<std::string> tempScriptName(const std::string& argv0) {
  const std::string stem = argv0.substr(0, argv0.find('.')) + ".tmp";
  if (!pathFromUtf8(stem)) return std::nullopt;
  std::string name = ".";
  name.append(stem, fileNameStart(stem));
  return name;
}

}  // namespace

std::optional<std::string> makeTempScriptPath(const std::string& argv0,
                                              const std::string& tempDir) {
  const auto name = tempScriptName(argv0);
  if (!name || !pathFromUtf8(tempDir)) return std::nullopt;
  return joinPath(tempDir, *name);
}

std::optional<std::size_t> tempScriptNameTooLong(const std::string& fileName) {
  const auto name = tempScriptName(fileName);
  const auto native = name ? pathFromUtf8(*name) : std::nullopt;
  if (!native || native->size() <= kMaxFileNameLength) return std::nullopt;
  return native->size();
}

}  // namespace tavmor
