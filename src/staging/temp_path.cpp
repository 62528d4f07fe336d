#include "platform/path.hpp"
#include "staging/staging.hpp"

namespace tavmor {

std::optional<std::string> makeTempScriptPath(const std::string& argv0,
                                              const std::string& tempDir) {
  const std::string stem = argv0.substr(0, argv0.find('.')) + ".tmp";
  // A name that is not UTF-8 cannot be spelled where paths are UTF-16.
  if (!pathFromUtf8(stem) || !pathFromUtf8(tempDir)) return std::nullopt;
  std::string name = ".";
  name.append(stem, fileNameStart(stem));
  return joinPath(tempDir, name);
}

}  // namespace tavmor
