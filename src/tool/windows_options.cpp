#include "tool/windows_options.hpp"

#include <algorithm>

#include "peresource/resource_tree.hpp"
#include "platform/file.hpp"
#include "platform/path.hpp"
#include "util/utf16.hpp"

namespace tavmor {
namespace {

// The options that fill the version information's strings, and the strings they fill.
struct TextOption {
  const char* option;
  const char16_t* name;
};
constexpr TextOption kTextOptions[] = {
    {"windows-publisher", u"CompanyName"},
    {"windows-description", u"FileDescription"},
    {"windows-copyright", u"LegalCopyright"},
    {"windows-title", u"ProductName"},
};

Status usage(const std::string& message) { return Status::failure(Status::Code::kUsage, message); }

// "--windows-version, --windows-title": the options given that fill the version information.
std::string versionOptionsGiven(const cli::ParsedArgs& parsed) {
  std::string names = parsed.value("windows-version") ? "--windows-version" : "";
  for (const TextOption& option : kTextOptions) {
    if (parsed.value(option.option))
      names += (names.empty() ? "--" : ", --") + std::string(option.option);
  }
  return names;
}

}  // namespace

std::vector<cli::OptionSpec> windowsOptionSpecs() {
  std::vector<cli::OptionSpec> specs = {{"windows-icon", '\0', true},
                                        {"windows-version", '\0', true}};
  for (const TextOption& text : kTextOptions) specs.push_back({text.option, '\0', true});
  return specs;
}

std::optional<std::string> firstWindowsOption(const cli::ParsedArgs& parsed) {
  for (const auto& spec : windowsOptionSpecs()) {
    if (parsed.value(spec.longName)) return std::string("--") + spec.longName;
  }
  return std::nullopt;
}

Result<WindowsResources> windowsResourcesFromOptions(const cli::ParsedArgs& parsed,
                                                     const std::string& output) {
  WindowsResources resources;
  VersionInfo info;
  bool hasVersionInfo = false;
  std::vector<std::pair<std::u16string, std::u16string>> strings;
  if (const auto version = parsed.value("windows-version")) {
    const auto number = parseVersionNumber(*version);
    if (!number) {
      return usage("--windows-version '" + *version +
                   "' is not four numbers of 0 to 65535 joined by dots (A.B.C.D)");
    }
    info.fileVersion = info.productVersion = *number;
    const std::u16string text = *utf16FromUtf8(versionText(*number));
    strings.emplace_back(u"FileVersion", text);
    strings.emplace_back(u"ProductVersion", text);
    hasVersionInfo = true;
  }
  for (const TextOption& option : kTextOptions) {
    const auto value = parsed.value(option.option);
    if (!value) continue;
    const auto text = utf16FromUtf8(*value);
    if (!text) return usage(std::string("--") + option.option + " is not valid UTF-8 text");
    strings.emplace_back(option.name, *text);
    hasVersionInfo = true;
  }
  if (hasVersionInfo) {
    if (output != "-") {
      const auto name = utf16FromUtf8(output.substr(fileNameStart(output)));
      if (!name) return usage("the name of " + output + " is not valid UTF-8 text");
      strings.emplace_back(u"OriginalFilename", *name);
    }
    std::sort(strings.begin(), strings.end());
    info.strings = std::move(strings);
    if (const auto block = encodeVersionInfo(info); !block.ok()) {
      return usage(versionOptionsGiven(parsed) + ": " + block.status().message());
    }
    resources.version = std::move(info);
  }
  if (const auto iconPath = parsed.value("windows-icon")) {
    const Result<FileImage> file = readWholeFile(*iconPath);
    if (!file.ok()) return file.status();
    // Its images take at most the file's size, which is checked here, where the option can be
    // named, rather than when the resource section is written.
    if (file->size > kMostResourceSectionBytes) {
      return usage("--windows-icon " + *iconPath + ": the file is larger than the " +
                   std::to_string(kMostResourceSectionBytes) + " bytes of a resource section");
    }
    Result<std::vector<IconImage>> images = parseIconFile(file->bytes.get(), file->size);
    if (!images.ok()) {
      return Status::failure(Status::Code::kUsage, *iconPath + ": " + images.status().message());
    }
    resources.icon = std::move(*images);
  }
  return resources;
}

}  // namespace tavmor
