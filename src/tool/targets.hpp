#pragma once
// The platforms launcher files are made for, and where the tool finds each one's launcher stub.
//
// An install keeps the stubs under its prefix, beside bin/tavmor:
//   PREFIX/lib/tavmor/linux-x86_64/tavmor-launcher (and linux-aarch64, linux-s390x)
//   PREFIX/lib/tavmor/windows-x86_64/tavmor-launcher.exe
// A build tree, and installs made before that layout, keep a stub beside the tool instead. Only
// stubs that nobody but root and the tool's owner could have written are used.

#include <optional>
#include <string>
#include <vector>

#include "platform/file.hpp"
#include "util/status.hpp"

namespace tavmor {

// The names of the targets the tool packs for, in the order `tavmor targets` lists them:
// linux-x86_64, linux-aarch64, linux-s390x, windows-x86_64, and the tool's own target should it
// be none of them.
std::vector<std::string> targetNames();

// The target of the machine the tool itself was built for: the one `pack` takes by default.
std::string hostTarget();

bool isKnownTarget(const std::string& name);

// A place where a stub may be, and the folder up to which who may write it counts.
struct StubCandidate {
  std::string path;
  std::string root;
};

// The places, in the order they are tried, where the stub for `target` may be, found from the
// tool's own path `toolPath`: PREFIX/lib/tavmor/TARGET/ when the tool is PREFIX/bin/tavmor,
// then beside the tool (for the tool's own target, and the Windows one beside a Linux tool or the
// other way round). Empty when toolPath has no folder.
std::vector<StubCandidate> stubCandidates(const std::string& target, const std::string& toolPath);

// A stub, and the path it was found at.
struct Stub {
  std::string path;
  FileImage image;
};

// The first of stubCandidates that is a regular file, read once, from the descriptor its trust
// was checked on. Fails with kCannotOpen when none is ("no stub for TARGET at PATH"), and with
// kNoPermission ("PATH: WHY") when someone but root and the tool's owner could have written
// that file or a folder on the way to it; "PATH: WHY" for any other failure to read it.
Result<Stub> findStub(const std::string& target, const std::string& toolPath);

// The line for a tool that cannot find its own path, given why.
std::string ownLocationUnknown(const Status& why);

// The "targets" verb; args follow the verb name.
int targetsCommand(const std::vector<std::string>& args);

}  // namespace tavmor
