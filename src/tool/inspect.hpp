#pragma once
// The "inspect" verb: what a launcher file holds, as text or JSON.

#include <string>
#include <vector>

#include "tool/examine.hpp"

namespace tavmor {

// The report as lines of "field  value" followed by one "warning: ..." line per warning.
std::string inspectionText(const std::string& path, const LauncherFileReport& report);

// The report as one JSON object.
std::string inspectionJson(const std::string& path, const LauncherFileReport& report);

// args follow the verb name. Returns the exit status.
int inspectCommand(const std::vector<std::string>& args);

}  // namespace tavmor
