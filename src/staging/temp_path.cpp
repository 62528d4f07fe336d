#include <filesystem>

#include "platform/path.hpp"
#include "staging/staging.hpp"

namespace tavmor {
namespace {

// The longest name a directory entry holds on common file systems (ext4, tmpfs, XFS, NTFS): in
// bytes on POSIX, in UTF-16 units on Windows, which is what a native path counts.
constexpr std::size_t kMaxFileNameLength = 255;

std::optional<std::filesystem::path> tempScriptName(const std::string& argv0) {
  std::string stem = argv0.substr(0, argv0.find('.'));
  stem += ".tmp";
  const auto launcherPath = pathFromUtf8(stem);
  if (!launcherPath) return std::nullopt;
  std::filesystem::path name = ".";
  name += launcherPath->filename();
  return name;
}

}  // namespace

std::optional<std::string> makeTempScriptPath(const std::string& argv0,
                                              const std::string& tempDir) {
  const auto name = tempScriptName(argv0);
  const auto dir = pathFromUtf8(tempDir);
  if (!name || !dir) return std::nullopt;
  return utf8FromPath(*dir / *name);
}

std::optional<std::size_t> tempScriptNameTooLong(const std::string& fileName) {
  const auto name = tempScriptName(fileName);
  if (!name || name->native().size() <= kMaxFileNameLength) return std::nullopt;
  return name->native().size();
}

}  // namespace tavmor
