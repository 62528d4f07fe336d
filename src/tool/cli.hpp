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

// Runs `verb` on args (which follow its name): prints its help for --help and returns 0, a
// usage error for a bad option or operands other than what it takes and returns 2, and
// otherwise returns what `body` returns for the parsed arguments.
int runVerb(const Verb& verb, const std::vector<std::string>& args,
            const std::function<int(const ParsedArgs&)>& body);

// Writes text to standard output. When it cannot, prints "tavmor: <verb>: cannot write to
// standard output: <cause>" (without "<verb>: " when verb is empty) and returns false.
bool output(const std::string& verb, std::string_view text);

// Writes data to the output a verb was given: standard output for "-", else the file as
// writeOutputFile writes it. Returns 0, or prints "tavmor: <verb>: <output>: <cause>" and
// returns 1.
int writeOutput(const std::string& verb, const std::string& path, const unsigned char* data,
                std::uint64_t size, FileMode mode, const WriteCheck& check);

// Lines of "name  value", the values lined up two spaces after the longest name.
std::string alignedLines(const std::vector<std::pair<std::string, std::string>>& rows);

// Prints "tavmor: <message>" on stderr, control characters escaped, and returns status.
int error(const std::string& message, int status = kStatusFailure);

// Prints "tavmor: <verb>: <message>" and a hint to --help on stderr; returns kStatusUsage.
int usageError(const std::string& verb, const std::string& message);

}  // namespace tavmor::cli
