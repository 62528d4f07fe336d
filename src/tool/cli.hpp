#pragma once
// Command-line conventions shared by the verbs of the tavmor tool.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/output.hpp"
#include "util/status.hpp"

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

  std::optional<std::string> value(const std::string& longName) const;
  bool flag(const std::string& longName) const;
};

// Parses args (without the program and verb names). "-" is an operand; "--" ends the options.
// A usage error fails with the code kUsage.
Result<ParsedArgs> parseArgs(const std::vector<std::string>& args,
                             const std::vector<OptionSpec>& specs);

// What a verb takes: its options, and one operand named `operand` (none when it is null).
struct Verb {
  const char* name;
  const char* help;
  std::vector<OptionSpec> options;
  const char* operand;
};

// Runs `verb` on args (which follow its name) and returns the exit status: its help for --help,
// a usage error for a bad option or operands other than what it takes, and otherwise what
// `body` gives for the parsed arguments, printed by exitStatus.
int runVerb(const Verb& verb, const std::vector<std::string>& args,
            const std::function<Status(const ParsedArgs&)>& body);

// The exit status for the outcome of `verb`, printed first when it is a failure: "tavmor: <verb>:
// <message>" (without "<verb>: " when verb is empty), and for kUsage a hint to the verb's
// --help. kStatusOk, kStatusUsage for kUsage, kStatusFailure for any other failure.
int exitStatus(const std::string& verb, const Status& outcome);

// A usage error: a command line that asks for what cannot be done.
Status usageFailure(std::string message);

// Writes text to standard output; fails with "cannot write to standard output: <cause>".
Status output(std::string_view text);

// Writes data to the output a verb was given: standard output for "-", else the file as
// writeOutputFile writes it, and then a failure names it: "<output>: <cause>".
Status writeOutput(const std::string& path, const unsigned char* data, std::uint64_t size,
                   FileMode mode, const WriteCheck& check);

// Lines of "name  value", the values lined up two spaces after the longest name.
std::string alignedLines(const std::vector<std::pair<std::string, std::string>>& rows);

// Prints "tavmor: <message>" on stderr, control characters escaped: a note or a warning beside
// what a verb did.
void printNote(const std::string& message);

}  // namespace tavmor::cli
