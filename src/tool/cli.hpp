#pragma once
// Command-line conventions shared by the verbs of the tavmor tool.

#include <optional>
#include <string>
#include <vector>

namespace tavmor::cli {

inline constexpr int kStatusOk = 0;
inline constexpr int kStatusFailure = 1;
inline constexpr int kStatusUsage = 2;

// One option a verb accepts: its long name, an optional short name, and whether it takes a value.
struct OptionSpec {
  const char* longName;
  char shortName;
  bool takesValue;
};

struct ParsedArgs {
  std::vector<std::pair<std::string, std::string>> options;  // long name, value ("" for flags)
  std::vector<std::string> operands;
  bool help = false;
  std::string error;  // set on a usage error

  std::optional<std::string> value(const std::string& longName) const;
  bool flag(const std::string& longName) const;
};

// Parses args (without the program and verb names). "-" is an operand; "--" ends the options.
ParsedArgs parseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs);

// Prints "tavmor: <message>" on stderr and returns status.
int error(const std::string& message, int status = kStatusFailure);

// Prints "tavmor: <verb>: <message>" and a hint to --help on stderr; returns kStatusUsage.
int usageError(const std::string& verb, const std::string& message);

}  // namespace tavmor::cli
