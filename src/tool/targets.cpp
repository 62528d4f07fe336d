#include "tool/targets.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/file.hpp"
#include "platform/path.hpp"
#include "platform/self.hpp"
#include "tool/cli.hpp"

namespace tavmor {
namespace {

// Set by the build from the system and processor the tool is compiled for.
constexpr char kHostTarget[] = TAVMOR_HOST_TARGET;

constexpr char kTargetsHelp[] =
    "Usage: tavmor targets\n"
    "\n"
    "Lists the targets that 'tavmor pack --target' takes, one a line: the target's name, then\n"
    "the path of its launcher stub, or \"missing\" where that stub is not installed. Stubs are\n"
    "found under lib/tavmor/TARGET/ in the folder above tavmor's own, else beside tavmor.\n"
    "\n"
    "Options:\n"
    "  -h, --help    show this help\n";

std::string stubFileName(const std::string& target) {
  return target.rfind("windows-", 0) == 0 ? "tavmor-launcher.exe" : "tavmor-launcher";
}

bool isRegularFile(const std::string& path) {
  const auto native = pathFromUtf8(path);
  std::error_code error;
  return native && std::filesystem::is_regular_file(*native, error);
}

}  // namespace

std::vector<std::string> targetNames() {
  std::vector<std::string> names = {"linux-x86_64", "windows-x86_64"};
  if (std::find(names.begin(), names.end(), kHostTarget) == names.end()) {
    names.push_back(kHostTarget);
  }
  return names;
}

std::string hostTarget() { return kHostTarget; }

bool isKnownTarget(const std::string& name) {
  const auto names = targetNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> stubCandidates(const std::string& target, const std::string& toolPath) {
  const std::size_t slash = toolPath.find_last_of("/\\");
  if (slash == std::string::npos) return {};
  // Joined with the separator the system wrote into the tool's own path.
  const char sep = toolPath[slash];
  const std::string toolDir = toolPath.substr(0, slash);
  const std::string stub = stubFileName(target);
  std::vector<std::string> candidates;
  const std::size_t parentSlash = toolDir.find_last_of("/\\");
  if (parentSlash != std::string::npos) {
    candidates.push_back(toolDir.substr(0, parentSlash + 1) + "lib" + sep + "tavmor" + sep +
                         target + sep + stub);
  }
  candidates.push_back(toolDir + sep + stub);
  return candidates;
}

std::optional<std::string> findStub(const std::string& target, const std::string& toolPath) {
  for (const auto& candidate : stubCandidates(target, toolPath)) {
    if (isRegularFile(candidate)) return candidate;
  }
  return std::nullopt;
}

int targetsCommand(const std::vector<std::string>& args) {
  return cli::runVerb({"targets", kTargetsHelp, {}, nullptr}, args, [](const cli::ParsedArgs&) {
    const std::string self = currentExecutablePath();
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& name : targetNames()) {
      rows.emplace_back(name, findStub(name, self).value_or("missing"));
    }
    return cli::output("targets", cli::alignedLines(rows)) ? cli::kStatusOk : cli::kStatusFailure;
  });
}

}  // namespace tavmor
