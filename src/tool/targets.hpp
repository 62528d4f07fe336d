#pragma once
// The platforms launcher files are made for, and where the tool finds each one's launcher stub.
//
// An install keeps the stubs under its prefix, beside bin/tavmor:
//   PREFIX/lib/tavmor/linux-x86_64/tavmor-launcher
//   PREFIX/lib/tavmor/windows-x86_64/tavmor-launcher.exe
// A build tree, and installs made before that layout, keep a stub beside the tool instead.

#include <optional>
#include <string>
#include <vector>

namespace tavmor {

// The names of the targets the tool packs for, in the order `tavmor targets` lists them:
// linux-x86_64, windows-x86_64, and the tool's own target should it be neither.
std::vector<std::string> targetNames();

// The target of the machine the tool itself was built for: the one `pack` takes by default.
std::string hostTarget();

bool isKnownTarget(const std::string& name);

// The paths, in the order they are tried, where the stub for `target` may be, found from the
// tool's own path `toolPath`. Empty when toolPath is empty.
std::vector<std::string> stubCandidates(const std::string& target, const std::string& toolPath);

// The first of stubCandidates that is a regular file, or nothing.
std::optional<std::string> findStub(const std::string& target, const std::string& toolPath);

// The "targets" verb; args follow the verb name.
int targetsCommand(const std::vector<std::string>& args);

}  // namespace tavmor
