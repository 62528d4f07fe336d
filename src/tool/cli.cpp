#include "tool/cli.hpp"

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

ParsedArgs parseArgs(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs) {
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
    if (arg == "--help" || arg == "-h") {
      parsed.help = true;
      continue;
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
    if (spec == nullptr) {
      parsed.error = "unknown option " + arg;
      return parsed;
    }
    if (!spec->takesValue) {
      if (hasInlineValue) {
        parsed.error = "option --" + std::string(spec->longName) + " takes no value";
        return parsed;
      }
      parsed.options.emplace_back(spec->longName, "");
      continue;
    }
    if (!hasInlineValue) {
      if (i + 1 >= args.size()) {
        parsed.error = "option " + arg + " needs a value";
        return parsed;
      }
      inlineValue = args[++i];
    }
    parsed.options.emplace_back(spec->longName, inlineValue);
  }
  return parsed;
}

std::optional<int> startVerb(const std::string& verb, const std::vector<std::string>& args,
                             const std::vector<OptionSpec>& specs, const char* help,
                             const char* operandName, ParsedArgs& parsed) {
  parsed = parseArgs(args, specs);
  if (parsed.help) return output(verb, help) ? kStatusOk : kStatusFailure;
  if (!parsed.error.empty()) return usageError(verb, parsed.error);
  if (operandName == nullptr) {
    if (!parsed.operands.empty()) return usageError(verb, "takes no operands");
  } else if (parsed.operands.size() != 1) {
    return usageError(verb, std::string("expected one ") + operandName);
  }
  return std::nullopt;
}

std::optional<FileImage> readInput(const std::string& verb, const std::string& path) {
  Result<FileImage> read = readWholeFile(path);
  if (!read.ok()) {
    error(verb + ": " + read.status().message());
    return std::nullopt;
  }
  return std::move(*read);
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
