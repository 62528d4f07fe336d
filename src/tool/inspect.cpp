#include "tool/inspect.hpp"

#include <sstream>

#include "platform/file.hpp"
#include "tool/cli.hpp"
#include "tool/json.hpp"
#include "util/escape.hpp"
#include "util/hex.hpp"

namespace tavmor {
namespace {

constexpr char kInspectHelp[] =
    "Usage: tavmor inspect FILE [--json]\n"
    "\n"
    "Shows what the launcher file FILE holds: its executable format and machine, where the data\n"
    "appended to the executable image starts, the marker, the payload, the script the launcher\n"
    "decodes from it (length and SHA-256), the certificate table of a signed Windows file, and\n"
    "warnings about anything that keeps the launcher from running the script as packed.\n"
    "Exits with 0 whenever FILE could be read; 'tavmor verify' judges it.\n"
    "\n"
    "Options:\n"
    "      --json    print one JSON object instead of text\n"
    "  -h, --help    show this help\n";

std::string range(std::uint64_t start, std::uint64_t end) {
  return std::to_string(start) + " to " + std::to_string(end) + " (" + std::to_string(end - start) +
         " bytes)";
}

std::optional<std::string> bits(const ExecutableLayout& layout) {
  if (layout.format == ExecutableFormat::kElf) {
    if (layout.elfClass == kElfClass64) return "64";
    if (layout.elfClass == kElfClass32) return "32";
  } else if (layout.format == ExecutableFormat::kPe) {
    if (layout.peMagic == kPe32PlusMagic) return "64";
    if (layout.peMagic == kPe32Magic) return "32";
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
    text = "ELF, " + (wordSize ? *wordSize + "-bit"
                               : "class " + std::to_string(layout.elfClass) + " (invalid)");
    text += ", " + byteOrder(layout).value_or("byte order " + std::to_string(layout.elfByteOrder) +
                                              " (invalid)");
  } else if (wordSize) {
    text = std::string(layout.peMagic == kPe32PlusMagic ? "PE32+" : "PE32") + ", " + *wordSize +
           "-bit";
  } else {
    text = "PE, optional-header magic 0x" + hexNumber(layout.peMagic) + " (neither PE32 nor PE32+)";
  }
  return text + ", " + machineName(layout.format, layout.machine);
}

std::string peFormat(const ExecutableLayout& layout) {
  if (layout.format != ExecutableFormat::kPe || !bits(layout)) return "null";
  return json::quote(layout.peMagic == kPe32PlusMagic ? "PE32+" : "PE32");
}

std::string payloadText(const LauncherFileReport& report) {
  const PayloadSpan& span = *report.payload;
  std::string text = range(span.payloadStart, span.payloadEnd) + ", " +
                     std::to_string(report.pairCount) + " pairs";
  if (report.oddTrailingByte) text += ", an odd trailing byte";
  if (report.zeroCountPairs != 0) {
    text += ", " + std::to_string(report.zeroCountPairs) + " with a zero count";
  }
  if (report.signingPadding != 0) {
    text += ", " + std::to_string(report.signingPadding) + " bytes of signing padding";
  }
  return text;
}

std::string certificateText(const CertificateReport& cert) {
  std::string text =
      "offset " + std::to_string(cert.offset) + ", " + std::to_string(cert.size) + " bytes";
  if (cert.entryLength) {
    text += ": " + certificateTypeName(cert.type) + ", revision 0x" + hexNumber(cert.revision);
  }
  if (cert.setApart) text += "; the payload stops before it (the signature itself is not checked)";
  return text;
}

void field(std::string& out, const char* name, const std::string& value) {
  out += name;
  out.append(19 - std::string(name).size(), ' ');
  out += value;
  out += '\n';
}

std::string number(const std::optional<std::uint64_t>& value) {
  return value ? std::to_string(*value) : "null";
}

}  // namespace

std::string inspectionText(const std::string& path, const LauncherFileReport& report) {
  const ExecutableLayout& layout = report.layout;
  std::string out;
  field(out, "file", escaped(path) + " (" + std::to_string(report.fileSize) + " bytes)");
  field(out, "format", formatText(layout));
  if (layout.format != ExecutableFormat::kUnknown) {
    field(out, "image ends at",
          layout.imageEnd > report.fileSize ? "beyond the end of the file"
                                            : std::to_string(layout.imageEnd));
  }
  field(out, "appended data", range(layout.appendedStart, layout.appendedEnd));
  if (report.payload) {
    field(out, "marker at",
          std::to_string(report.payload->markerOffset) + " (" + std::to_string(report.markerCount) +
              (report.markerCount == 1 ? " marker" : " markers") + " in the appended data)");
    field(out, "payload", payloadText(report));
  } else {
    field(out, "marker at", "none");
  }
  if (const auto& script = report.script) {
    field(out, "script", std::to_string(script->length) + " bytes");
    field(out, "script SHA-256", toHex(script->sha256));
  }
  field(out, "certificate table",
        report.certificate ? certificateText(*report.certificate) : "none");
  if (report.warnings.empty()) field(out, "warnings", "none");
  for (const auto& warning : report.warnings) out += "warning: " + warning + '\n';
  if (const auto problem = nameProblem(path)) out += "note: " + *problem + '\n';
  return out;
}

std::string inspectionJson(const std::string& path, const LauncherFileReport& report) {
  const ExecutableLayout& layout = report.layout;
  const bool known = layout.format != ExecutableFormat::kUnknown;
  const auto& payload = report.payload;
  std::ostringstream out;
  out << "{\n"
      << "  \"file\": " << json::quote(path) << ",\n"
      << "  \"fileSize\": " << report.fileSize << ",\n"
      << "  \"format\": " << (known ? json::quote(formatName(layout.format)) : "null") << ",\n"
      << "  \"machine\": "
      << (known ? json::quote(machineName(layout.format, layout.machine)) : "null") << ",\n"
      << "  \"bits\": " << bits(layout).value_or("null") << ",\n"
      << "  \"byteOrder\": " << (byteOrder(layout) ? json::quote(*byteOrder(layout)) : "null")
      << ",\n"
      << "  \"peFormat\": " << peFormat(layout) << ",\n"
      << "  \"imageEnd\": "
      << number(known && layout.imageEnd <= report.fileSize ? std::optional(layout.imageEnd)
                                                            : std::nullopt)
      << ",\n"
      << "  \"appendedStart\": " << layout.appendedStart << ",\n"
      << "  \"appendedEnd\": " << layout.appendedEnd << ",\n"
      << "  \"markerOffset\": "
      << number(payload ? std::optional(payload->markerOffset) : std::nullopt) << ",\n"
      << "  \"markerCount\": " << report.markerCount << ",\n"
      << "  \"payloadStart\": "
      << number(payload ? std::optional(payload->payloadStart) : std::nullopt) << ",\n"
      << "  \"payloadLength\": "
      << number(payload ? std::optional(payload->payloadEnd - payload->payloadStart) : std::nullopt)
      << ",\n"
      << "  \"pairCount\": " << report.pairCount << ",\n"
      << "  \"zeroCountPairs\": " << report.zeroCountPairs << ",\n"
      << "  \"oddTrailingByte\": " << (report.oddTrailingByte ? "true" : "false") << ",\n"
      << "  \"signingPadding\": " << report.signingPadding << ",\n"
      << "  \"scriptLength\": "
      << number(report.script ? std::optional(report.script->length) : std::nullopt) << ",\n"
      << "  \"scriptSha256\": "
      << (report.script ? json::quote(toHex(report.script->sha256)) : "null") << ",\n"
      << "  \"certificate\": ";
  if (const auto& cert = report.certificate) {
    out << "{\"offset\": " << cert->offset << ", \"size\": " << cert->size
        << ", \"setApart\": " << (cert->setApart ? "true" : "false") << ", \"type\": "
        << (cert->entryLength ? json::quote(certificateTypeName(cert->type)) : "null")
        << ", \"revision\": " << (cert->entryLength ? std::to_string(cert->revision) : "null")
        << "}";
  } else {
    out << "null";
  }
  out << ",\n  \"warnings\": [";
  for (std::size_t i = 0; i < report.warnings.size(); ++i) {
    out << (i == 0 ? "" : ", ") << json::quote(report.warnings[i]);
  }
  out << "],\n  \"notes\": [";
  if (const auto problem = nameProblem(path)) out << json::quote(*problem);
  out << "]\n}\n";
  return out.str();
}

namespace {

int inspect(const cli::ParsedArgs& parsed) {
  const std::string& path = parsed.operands[0];
  const Result<FileImage> image = readWholeFile(path);
  if (!image.ok()) return cli::error("inspect: " + image.status().message());
  const LauncherFileReport report = examineLauncherFile(image->bytes.get(), image->size);
  const std::string text =
      parsed.flag("json") ? inspectionJson(path, report) : inspectionText(path, report);
  return cli::output("inspect", text) ? cli::kStatusOk : cli::kStatusFailure;
}

}  // namespace

int inspectCommand(const std::vector<std::string>& args) {
  return cli::runVerb({"inspect", kInspectHelp, {{"json", '\0', false}}, "FILE"}, args, inspect);
}

}  // namespace tavmor
