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
    "the path of its launcher stub, \"missing\" where that stub is not installed, or why the\n"
    "stub there is refused. Stubs are found under lib/tavmor/TARGET/ in the folder above\n"
    "tavmor's own when that is a bin folder (PREFIX/bin/tavmor), else beside tavmor. A stub\n"
    "that a user other than root or tavmor's owner could have written, or that lies in such\n"
    "a folder or is reached through a link in one, is refused.\n"
    "\n"
    "Options:\n"
    "  -h, --help    show this help\n";

std::string stubFileName(const std::string& target) {
  return target.rfind("windows-", 0) == 0 ? "tavmor-launcher.exe" : "tavmor-launcher";
}

// A stub beside the tool is one that a build tree (or an install of the older layout) put there:
// the tool's own target's, or that of the one other target whose stub's file name tells it apart
// (windows-x86_64 beside a Linux tool, linux-x86_64 beside a Windows one). Another target's stub
// is never taken from there: the file of that name is the tool's own machine's.
bool mayLieBesideTool(const std::string& target) {
  if (target == kHostTarget) return true;
  if (stubFileName(target) == stubFileName(kHostTarget)) return false;
  return target == "windows-x86_64" || target == "linux-x86_64";
}

bool isRegularFile(const std::string& path) {
  const auto native = pathFromUtf8(path);
  std::error_code error;
  return native && std::filesystem::is_regular_file(*native, error);
}

}  // namespace

std::vector<std::string> targetNames() {
  std::vector<std::string> names = {"linux-x86_64", "linux-aarch64", "linux-s390x",
                                    "windows-x86_64"};
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

std::vector<StubCandidate> stubCandidates(const std::string& target, const std::string& toolPath) {
  const std::size_t slash = toolPath.find_last_of("/\\");
  if (slash == std::string::npos) return {};
  // Joined with the separator the system wrote into the tool's own path.
  const char sep = toolPath[slash];
  const std::string toolDir = toolPath.substr(0, slash);
  const std::string stub = stubFileName(target);
  std::vector<StubCandidate> candidates;
  // Only a tool in PREFIX/bin is an installation's: a tool copied or linked anywhere else
  // never looks in the folder above its own, which may be anybody's (the temp directory).
  const std::size_t parentSlash = toolDir.find_last_of("/\\");
  if (parentSlash != std::string::npos && toolDir.substr(parentSlash + 1) == "bin") {
    const std::string prefix = toolDir.substr(0, parentSlash);
    candidates.push_back({prefix + sep + "lib" + sep + "tavmor" + sep + target + sep + stub,
                          prefix.empty() ? std::string(1, sep) : prefix});
  }
  if (mayLieBesideTool(target)) candidates.push_back({toolDir + sep + stub, toolDir});
  return candidates;
}

Result<Stub> findStub(const std::string& target, const std::string& toolPath) {
  const auto candidates = stubCandidates(target, toolPath);
  for (const auto& candidate : candidates) {
    if (!isRegularFile(candidate.path)) continue;
    // A stub that someone else could have planted would run their code in every file packed.
    Result<FileImage> image = readFileWrittenOnlyByOwners(candidate.path, candidate.root, toolPath);
    if (!image.ok()) {
      return Status::failure(image.status().code(),
                             candidate.path + ": " + image.status().message());
    }
    return Stub{candidate.path, std::move(*image)};
  }
  return Status::failure(
      Status::Code::kCannotOpen,
      "no stub for " + target +
          (candidates.empty() ? std::string() : " at " + candidates.front().path));
}

int targetsCommand(const std::vector<std::string>& args) {
  return cli::runVerb({"targets", kTargetsHelp, {}, nullptr}, args, [](const cli::ParsedArgs&) {
    const Result<std::string> self = currentExecutablePath();
    if (!self.ok()) return Status::failure(ownLocationUnknown(self.status()));
    std::vector<std::pair<std::string, std::string>> rows;
    for (const auto& name : targetNames()) {
      const Result<Stub> stub = findStub(name, *self);
      if (stub.ok()) {
        rows.emplace_back(name, stub->path);
      } else {
        rows.emplace_back(name, stub.status().code() == Status::Code::kCannotOpen
                                    ? "missing"
                                    : "refused: " + stub.status().message());
      }
    }
    return cli::output(cli::alignedLines(rows));
  });
}

std::string ownLocationUnknown(const Status& why) {
  return "cannot find tavmor's own location, where its stubs are (" + why.message() +
         "); --stub names one";
}

}  // namespace tavmor
