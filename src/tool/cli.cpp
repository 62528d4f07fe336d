#include "tool/cli.hpp"

#include <algorithm>
#include <iostream>

#include "util/escape.hpp"

namespace tavmor::cli {

std::optional<std::string> ParsedArgs::value(const std::string& longName) const {
  std::optional<std::string> found;
  for (const auto& [name, value] : options) {
    if (name == longName) found = value;
  }
  return found;
}

bool ParsedArgs::flag(const std::string& longName) const { return value(longName).has_value(); }

Result<ParsedArgs> parseArgs(const std::vector<std::string>& args,
                             const std::vector<OptionSpec>& specs) {
  const auto usage = [](const std::string& message) { return usageFailure(message); };
  ParsedArgs parsed;
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
      parsed.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {  // whatever follows
      parsed.help = true;
      return parsed;
    }
    const OptionSpec* spec = nullptr;
    std::string inlineValue;
    bool hasInlineValue = false;
    if (arg.rfind("--", 0) == 0) {
      const std::size_t equals = arg.find('=');
      const std::string name =
          arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      if (equals != std::string::npos) {
        inlineValue = arg.substr(equals + 1);
        hasInlineValue = true;
      }
      for (const auto& candidate : specs) {
        if (name == candidate.longName) spec = &candidate;
      }
    } else {
      for (const auto& candidate : specs) {
        if (candidate.shortName != '\0' && arg[1] == candidate.shortName) spec = &candidate;
      }
      if (spec != nullptr && arg.size() > 2) {
        if (!spec->takesValue) spec = nullptr;
        inlineValue = arg.substr(2);
        hasInlineValue = true;
      }
    }
    if (spec == nullptr) return usage("unknown option " + arg);
    if (!spec->takesValue) {
      if (hasInlineValue) {
        return usage("option --" + std::string(spec->longName) + " takes no value");
      }
      parsed.options.emplace_back(spec->longName, "");
      continue;
    }
    if (!hasInlineValue) {
      if (i + 1 >= args.size()) return usage("option " + arg + " needs a value");
      inlineValue = args[++i];
    }
    parsed.options.emplace_back(spec->longName, inlineValue);
  }
  return parsed;
}

int runVerb(const Verb& verb, const std::vector<std::string>& args,
            const std::function<Status(const ParsedArgs&)>& body) {
  const Result<ParsedArgs> parsed = parseArgs(args, verb.options);
  if (!parsed.ok()) return exitStatus(verb.name, parsed.status());
  if (parsed->help) return exitStatus(verb.name, output(verb.help));
  if (verb.operand == nullptr) {
    if (!parsed->operands.empty()) return exitStatus(verb.name, usageFailure("takes no operands"));
  } else if (parsed->operands.size() != 1) {
    return exitStatus(verb.name, usageFailure(std::string("expected one ") + verb.operand));
  }
  return exitStatus(verb.name, body(*parsed));
}

int exitStatus(const std::string& verb, const Status& outcome) {
  if (outcome.ok()) return kStatusOk;
  const bool usage = outcome.code() == Status::Code::kUsage;
  std::cerr << "tavmor: " << (verb.empty() ? "" : verb + ": ") << escaped(outcome.message());
  if (usage && !verb.empty()) std::cerr << " (see 'tavmor " << verb << " --help')";
  std::cerr << '\n' << std::flush;
  return usage ? kStatusUsage : kStatusFailure;
}

Status usageFailure(std::string message) {
  return Status::failure(Status::Code::kUsage, std::move(message));
}

Status output(std::string_view text) {
  return writeStandardOutput(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

Status writeOutput(const std::string& path, const unsigned char* data, std::uint64_t size,
                   FileMode mode, const WriteCheck& check) {
  if (path == "-") return output(std::string_view(reinterpret_cast<const char*>(data), size));
  const Status written = writeOutputFile(path, data, size, mode, check);
  if (written.ok()) return written;
  return Status::failure(written.code(), path + ": " + written.message(), written.reason());
}

std::string alignedLines(const std::vector<std::pair<std::string, std::string>>& rows) {
  std::size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  std::string lines;
  for (const auto& [name, value] : rows) {
    lines += name;
    lines.append(width + 2 - name.size(), ' ');
    lines += value;
    lines += '\n';
  }
  return lines;
}

void printNote(const std::string& message) {
  std::cerr << "tavmor: " << escaped(message) << '\n' << std::flush;
}

}  // namespace tavmor::cli
