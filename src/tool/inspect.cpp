#include "tool/inspect.hpp"

#include <nlohmann/json.hpp>

#include "platform/file.hpp"
#include "tool/cli.hpp"
#include "util/escape.hpp"
#include "util/hex.hpp"
#include "util/utf16.hpp"

namespace tavmor {
namespace {

constexpr char kInspectHelp[] =
    "Usage: tavmor inspect FILE [--json]\n"
    "\n"
    "Shows what the launcher file FILE holds: its executable format and machine, where the data\n"
    "appended to the executable image starts, the marker, the payload, the script the launcher\n"
    "decodes from it (length and SHA-256), the certificate table of a signed Windows file, a\n"
    "Windows file's icon and version information, and warnings about anything that keeps the\n"
    "launcher from running the script as packed or that is malformed in the file.\n"
    "Exits with 0 whenever FILE could be read; 'tavmor verify' judges it.\n"
    "\n"
    "Options:\n"
    "      --json    print one JSON object instead of text\n"
    "  -h, --help    show this help\n";

// "1 byte", "2 bytes": a count with its noun, singular for one.
std::string counted(std::uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string range(std::uint64_t start, std::uint64_t end) {
  return std::to_string(start) + " to " + std::to_string(end) + " (" +
         counted(end - start, "byte") + ")";
}

std::optional<int> bits(const ExecutableLayout& layout) {
  if (layout.format == ExecutableFormat::kElf) {
    if (layout.elfClass == kElfClass64) return 64;
    if (layout.elfClass == kElfClass32) return 32;
  } else if (layout.format == ExecutableFormat::kPe) {
    if (layout.peMagic == kPe32PlusMagic) return 64;
    if (layout.peMagic == kPe32Magic) return 32;
  }
  return std::nullopt;
}

std::optional<std::string> byteOrder(const ExecutableLayout& layout) {
  if (layout.format == ExecutableFormat::kPe) return "little-endian";
  if (layout.elfByteOrder == kElfLittleEndian) return "little-endian";
  if (layout.elfByteOrder == kElfBigEndian) return "big-endian";
  return std::nullopt;
}

// "ELF, 64-bit, little-endian, x86-64", "PE32+, 64-bit, x86-64", with the header's own value
// for anything that is none the format defines.
std::string formatText(const ExecutableLayout& layout) {
  if (layout.format == ExecutableFormat::kUnknown) return "unknown";
  const auto wordSize = bits(layout);
  std::string text;
  if (layout.format == ExecutableFormat::kElf) {
    text = "ELF, " + (wordSize ? std::to_string(*wordSize) + "-bit"
                               : "class " + std::to_string(layout.elfClass) + " (invalid)");
    text += ", " + byteOrder(layout).value_or("byte order " + std::to_string(layout.elfByteOrder) +
                                              " (invalid)");
  } else if (wordSize) {
    text = std::string(layout.peMagic == kPe32PlusMagic ? "PE32+" : "PE32") + ", " +
           std::to_string(*wordSize) + "-bit";
  } else {
    text = "PE, optional-header magic 0x" + hexNumber(layout.peMagic) + " (neither PE32 nor PE32+)";
  }
  return text + ", " + machineName(layout.format, layout.machine);
}

std::string payloadText(const LauncherFileReport& report) {
  const PayloadSpan& span = *report.payload;
  std::string text =
      range(span.payloadStart, span.payloadEnd) + ", " + counted(report.pairCount, "pair");
  if (report.oddTrailingByte) text += ", an odd trailing byte";
  if (report.zeroCountPairs != 0) {
    text += ", " + std::to_string(report.zeroCountPairs) + " with a zero count";
  }
  if (report.signingPadding != 0) {
    text += ", " + counted(report.signingPadding, "byte") + " of signing padding";
  }
  return text;
}

std::string certificateText(const CertificateReport& cert) {
  std::string text = "offset " + std::to_string(cert.offset) + ", " + counted(cert.size, "byte");
  if (cert.entryLength) {
    text += ": " + certificateTypeName(cert.type) + ", revision 0x" + hexNumber(cert.revision);
  }
  if (cert.setApart) text += "; the payload stops before it (the signature itself is not checked)";
  return text;
}

// "16x16 32-bit", "256x256 32-bit PNG".
std::string iconImageText(const IconImageReport& image) {
  const auto pixels = [](std::uint8_t n) { return std::to_string(n == 0 ? 256 : n); };
  std::string text = pixels(image.entry.width);
  text += 'x';
  text += pixels(image.entry.height);
  if (image.entry.bitCount != 0) {
    text += ' ';
    text += std::to_string(image.entry.bitCount);
    text += "-bit";
  }
  if (image.png) text += " PNG";
  return text;
}

// The icon and each field of the version information, as Explorer shows them.
void addWindowsResources(const WindowsResourcesReport& resources,
                         std::vector<std::pair<std::string, std::string>>& fields) {
  std::string icon = "none";
  if (resources.icon) {
    icon = counted(resources.icon->size(), "image") + ":";
    const char* separator = " ";
    for (const auto& image : *resources.icon) {
      icon += separator;
      icon += iconImageText(image);
      separator = ", ";
    }
  }
  fields.emplace_back("icon", icon);
  const auto& version = resources.version;
  if (!version) {
    fields.emplace_back("version info", "none");
    return;
  }
  fields.emplace_back("file version", versionText(version->fileVersion));
  fields.emplace_back("product version", versionText(version->productVersion));
  for (const auto& [name, value] : version->strings) {
    fields.emplace_back(escaped(utf8FromUtf16(name)), escaped(utf8FromUtf16(value)));
  }
}

// A value, or JSON's null for nothing.
template <typename T>
nlohmann::ordered_json orNull(const std::optional<T>& value) {
  return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json();
}

void addWindowsResourcesJson(const WindowsResourcesReport& resources,
                             nlohmann::ordered_json& json) {
  if (resources.icon) {
    auto images = nlohmann::ordered_json::array();
    for (const auto& image : *resources.icon) {
      images.push_back({{"width", image.entry.width == 0 ? 256 : image.entry.width},
                        {"height", image.entry.height == 0 ? 256 : image.entry.height},
                        {"bitCount", image.entry.bitCount},
                        {"bytes", image.entry.size},
                        {"png", image.png}});
    }
    json["icon"] = {{"images", images}};
  }
  if (const auto& version = resources.version) {
    auto strings = nlohmann::ordered_json::object();
    for (const auto& [name, value] : version->strings) {
      strings[utf8FromUtf16(name)] = utf8FromUtf16(value);
    }
    json["versionInfo"] = {{"fileVersion", versionText(version->fileVersion)},
                           {"productVersion", versionText(version->productVersion)},
                           {"stringTable", utf8FromUtf16(version->table)},
                           {"strings", strings}};
  }
}

}  // namespace

std::string inspectionText(const std::string& path, const LauncherFileReport& report) {
  const ExecutableLayout& layout = report.layout;
  std::vector<std::pair<std::string, std::string>> fields;
  fields.emplace_back("file", escaped(path) + " (" + counted(report.fileSize, "byte") + ")");
  fields.emplace_back("format", formatText(layout));
  if (layout.format == ExecutableFormat::kElf) fields.emplace_back("type", elfTypeName(layout));
  if (layout.format != ExecutableFormat::kUnknown) {
    fields.emplace_back("image ends at", layout.imageEnd > report.fileSize
                                             ? "beyond the end of the file"
                                             : std::to_string(layout.imageEnd));
  }
  fields.emplace_back("appended data", range(layout.appendedStart, layout.appendedEnd));
  if (report.payload) {
    fields.emplace_back("marker at", std::to_string(report.payload->markerOffset) + " (" +
                                         counted(report.markerCount, "marker") +
                                         " in the appended data)");
    fields.emplace_back("payload", payloadText(report));
  } else {
    fields.emplace_back("marker at", "none");
  }
  if (const auto& script = report.script) {
    fields.emplace_back("script", counted(script->length, "byte"));
    fields.emplace_back("script SHA-256", toHex(script->sha256));
  }
  fields.emplace_back("certificate table",
                      report.certificate ? certificateText(*report.certificate) : "none");
  if (report.windowsResources) addWindowsResources(*report.windowsResources, fields);
  if (report.warnings.empty()) fields.emplace_back("warnings", "none");
  std::string out = cli::alignedLines(fields);
  for (const auto& warning : report.warnings) out += "warning: " + warning + '\n';
  if (const auto problem = nameProblem(path)) out += "note: " + *problem + '\n';
  return out;
}

std::string inspectionJson(const std::string& path, const LauncherFileReport& report) {
  const ExecutableLayout& layout = report.layout;
  const bool known = layout.format != ExecutableFormat::kUnknown;
  const auto& payload = report.payload;
  const auto word = bits(layout);
  nlohmann::ordered_json json;
  json["file"] = path;
  json["fileSize"] = report.fileSize;
  json["format"] = orNull(known ? std::optional(formatName(layout.format)) : std::nullopt);
  json["machine"] =
      orNull(known ? std::optional(machineName(layout.format, layout.machine)) : std::nullopt);
  json["bits"] = orNull(word);
  json["byteOrder"] = orNull(byteOrder(layout));
  json["peFormat"] = orNull(layout.format == ExecutableFormat::kPe && word
                                ? std::optional(layout.peMagic == kPe32PlusMagic ? "PE32+" : "PE32")
                                : std::nullopt);
  json["elfType"] = orNull(
      layout.format == ExecutableFormat::kElf ? std::optional(elfTypeName(layout)) : std::nullopt);
  json["imageEnd"] = orNull(
      known && layout.imageEnd <= report.fileSize ? std::optional(layout.imageEnd) : std::nullopt);
  json["appendedStart"] = layout.appendedStart;
  json["appendedEnd"] = layout.appendedEnd;
  json["markerOffset"] = orNull(payload ? std::optional(payload->markerOffset) : std::nullopt);
  json["markerCount"] = report.markerCount;
  json["payloadStart"] = orNull(payload ? std::optional(payload->payloadStart) : std::nullopt);
  json["payloadLength"] =
      orNull(payload ? std::optional(payload->payloadEnd - payload->payloadStart) : std::nullopt);
  json["pairCount"] = report.pairCount;
  json["zeroCountPairs"] = report.zeroCountPairs;
  json["oddTrailingByte"] = report.oddTrailingByte;
  json["signingPadding"] = report.signingPadding;
  json["scriptLength"] =
      orNull(report.script ? std::optional(report.script->length) : std::nullopt);
  json["scriptSha256"] =
      orNull(report.script ? std::optional(toHex(report.script->sha256)) : std::nullopt);
  json["certificate"] = nullptr;
  if (const auto& cert = report.certificate) {
    json["certificate"] = {
        {"offset", cert->offset},
        {"size", cert->size},
        {"setApart", cert->setApart},
        {"type",
         orNull(cert->entryLength ? std::optional(certificateTypeName(cert->type)) : std::nullopt)},
        {"revision", orNull(cert->entryLength ? std::optional(cert->revision) : std::nullopt)}};
  }
  json["icon"] = nullptr;
  json["versionInfo"] = nullptr;
  if (const auto& resources = report.windowsResources) addWindowsResourcesJson(*resources, json);
  json["warnings"] = report.warnings;
  json["notes"] = nlohmann::ordered_json::array();
  if (const auto problem = nameProblem(path)) json["notes"].push_back(*problem);
  // A file name on POSIX can hold any bytes: those that are not UTF-8 become U+FFFD.
  return json.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

namespace {

Status inspect(const cli::ParsedArgs& parsed) {
  const std::string& path = parsed.operands[0];
  const Result<FileImage> image = readWholeFile(path);
  if (!image.ok()) return image.status();
  const LauncherFileReport report = examineLauncherFile(image->bytes.get(), image->size);
  const std::string text =
      parsed.flag("json") ? inspectionJson(path, report) : inspectionText(path, report);
  return cli::output(text);
}

}  // namespace

int inspectCommand(const std::vector<std::string>& args) {
  return cli::runVerb({"inspect", kInspectHelp, {{"json", '\0', false}}, "FILE"}, args, inspect);
}

}  // namespace tavmor
