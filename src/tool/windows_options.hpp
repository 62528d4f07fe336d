#pragma once
// pack's options for a Windows launcher file's icon and version information.

#include <optional>
#include <string>
#include <vector>

#include "peresource/windows_resources.hpp"
#include "tool/cli.hpp"
#include "util/status.hpp"

namespace tavmor {

// --windows-icon, --windows-version, --windows-title, --windows-description,
// --windows-publisher, --windows-copyright; each takes a value.
std::vector<cli::OptionSpec> windowsOptionSpecs();

// The name of the first --windows-* option given, or nothing.
std::optional<std::string> firstWindowsOption(const cli::ParsedArgs& parsed);

// The resources the options ask for (the icon file read and checked), for a launcher file to be
// written at `output` ("-": standard output), whose name becomes the OriginalFilename. Fails
// with Status::Code::kUsage for a malformed version, text that is not UTF-8 or a file that is
// not a valid icon, and with a plain failure when the icon file cannot be read.
Result<WindowsResources> windowsResourcesFromOptions(const cli::ParsedArgs& parsed,
                                                     const std::string& output);

}  // namespace tavmor
