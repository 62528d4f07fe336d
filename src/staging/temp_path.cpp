#include <filesystem>

#include "platform/path.hpp"
#include "staging/staging.hpp"

namespace tavmor {

std::optional<std::string> makeTempScriptPath(const std::string& argv0,
                                              const std::string& tempDir) {
  std::string stem = argv0.substr(0, argv0.find('.'));
  stem += ".tmp";
  const auto launcherPath = pathFromUtf8(stem);
  const auto dir = pathFromUtf8(tempDir);
  if (!launcherPath || !dir) return std::nullopt;
  std::filesystem::path name = ".";
  name += launcherPath->filename();
  return utf8FromPath(*dir / name);
}

}  // namespace tavmor
