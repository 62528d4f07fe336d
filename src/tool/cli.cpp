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
  const auto usage = [](const std::string& message) {
    return Status::failure(Status::Code::kUsage, message);
  };
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
            const std::function<int(const ParsedArgs&)>& body) {
  const Result<ParsedArgs> parsed = parseArgs(args, verb.options);
  if (!parsed.ok()) return usageError(verb.name, parsed.status().message());
  if (parsed->help) return output(verb.name, verb.help) ? kStatusOk : kStatusFailure;
  if (verb.operand == nullptr) {
    if (!parsed->operands.empty()) return usageError(verb.name, "takes no operands");
  } else if (parsed->operands.size() != 1) {
    return usageError(verb.name, std::string("expected one ") + verb.operand);
  }
  return body(*parsed);
}

bool output(const std::string& verb, std::string_view text) {
  const Status written =
      writeStandardOutput(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  if (written.ok()) return true;
  error((verb.empty() ? "" : verb + ": ") + written.message());
  return false;
}

int writeOutput(const std::string& verb, const std::string& path, const unsigned char* data,
                std::uint64_t size, FileMode mode, const WriteCheck& check) {
  if (path == "-") {
    return output(verb, std::string_view(reinterpret_cast<const char*>(data), size))
               ? kStatusOk
               : kStatusFailure;
  }
  const Status written = writeOutputFile(path, data, size, mode, check);
  if (!written.ok()) return error(verb + ": " + path + ": " + written.message());
  return kStatusOk;
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

int error(const std::string& message, int status) {
  std::cerr << "tavmor: " << escaped(message) << '\n' << std::flush;
  return status;
}

int usageError(const std::string& verb, const std::string& message) {
  std::cerr << "tavmor: " << verb << ": " << escaped(message) << " (see 'tavmor " << verb
            << " --help')\n"
            << std::flush;
  return kStatusUsage;
}

}  // namespace tavmor::cli
