#include "tool/verify.hpp"

#include <vector>

#include "platform/file.hpp"
#include "tool/cli.hpp"
#include "tool/examine.hpp"
#include "util/escape.hpp"
#include "util/hex.hpp"

namespace tavmor {
namespace {

constexpr char kVerifyHelp[] =
    "Usage: tavmor verify FILE\n"
    "\n"
    "Checks that the launcher file FILE carries a well-formed payload that the launcher runs as\n"
    "it is: an ELF or PE executable, one marker in the data appended to it, whole pairs without\n"
    "zero counts, a script that decodes whole, and, in a signed Windows file, a certificate table\n"
    "that ends the file. Exits with 0 and one line on standard output when it does, with 1 and\n"
    "one line per reason on standard error when it does not. The format has no checksum: a file\n"
    "cut between two pairs still verifies. The signature itself is not checked.\n"
    "In a Windows file, the resource tree, its icon group and its version information must be\n"
    "well formed.\n"
    "\n"
    "Options:\n"
    "  -h, --help    show this help\n";

Status verify(const cli::ParsedArgs& parsed) {
  const std::string& path = parsed.operands[0];
  const Result<FileImage> image = readWholeFile(path);
  if (!image.ok()) return image.status();

  const LauncherFileReport report = examineLauncherFile(image->bytes.get(), image->size);
  const auto& script = report.script;
  if (!report.warnings.empty() || !script) {
    // One line per reason: those before the last printed here, the last as the failure.
    std::vector<std::string> reasons = report.warnings;
    if (reasons.empty()) reasons.push_back(kNoScriptFound);
    for (std::size_t i = 0; i + 1 < reasons.size(); ++i) {
      cli::printNote("verify: " + path + ": " + reasons[i]);
    }
    return Status::failure(path + ": " + reasons.back());
  }
  std::string line = escaped(path) + ": ok: " + formatName(report.layout.format) +
                     " launcher file, script of " + std::to_string(script->length) +
                     " bytes, SHA-256 " + toHex(script->sha256);
  if (report.certificate) {
    line += ", signed (certificate table of " + std::to_string(report.certificate->size) +
            " bytes; the signature itself is not checked)";
  }
  return cli::output(line + '\n');
}

}  // namespace

int verifyCommand(const std::vector<std::string>& args) {
  return cli::runVerb({"verify", kVerifyHelp, {}, "FILE"}, args, verify);
}

}  // namespace tavmor
