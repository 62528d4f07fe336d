#include "tool/pack.hpp"

#include <cstring>
#include <optional>

#include "exeformat/exeformat.hpp"
#include "payload/encode.hpp"
#include "payload/format.hpp"
#include "payload/payload.hpp"
#include "peresource/pe_image.hpp"
#include "platform/file.hpp"
#include "platform/output.hpp"
#include "platform/self.hpp"
#include "tool/cli.hpp"
#include "tool/examine.hpp"
#include "tool/targets.hpp"
#include "tool/windows_options.hpp"

namespace tavmor {
namespace {

constexpr char kPackHelp[] =
    "Usage: tavmor pack SCRIPT -o OUT [--target TARGET | --stub LAUNCHER] [WINDOWS OPTIONS]\n"
    "\n"
    "Packs the Rexx script SCRIPT (\"-\" for standard input) into the launcher file OUT, which\n"
    "runs the script when started. The launcher stub is the installed one for TARGET\n"
    "(linux-x86_64, linux-aarch64, linux-s390x or windows-x86_64; 'tavmor targets' lists them\n"
    "and their stubs), by default the target tavmor itself runs on, or the executable\n"
    "LAUNCHER. The same script and stub always give the same bytes. A signed stub loses its\n"
    "signature: sign OUT again.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT     the launcher file to write (\"-\" for standard output; a file is\n"
    "                       replaced atomically, a device or pipe written as it is)\n"
    "      --target TARGET  the target to pack for: its installed stub\n"
    "      --stub FILE      the launcher executable to pack the script into\n"
    "  -h, --help           show this help\n"
    "\n"
    "Windows options, for a Windows launcher file (Explorer shows them, and its Properties):\n"
    "      --windows-icon FILE.ico       its icon: every image of the .ico file (at most 4096)\n"
    "      --windows-version A.B.C.D     its file and product version (each 0 to 65535)\n"
    "      --windows-title TEXT          its product name\n"
    "      --windows-description TEXT    its file description\n"
    "      --windows-publisher TEXT      its company name\n"
    "      --windows-copyright TEXT      its copyright\n"
    "Each replaces what the stub has of its kind; the version information also names OUT's\n"
    "file as the original file name. It holds at most 65535 bytes: about 32,600 characters\n"
    "of text in all.\n";

// The stub to pack into, read once: the file --stub names, else the installed one for target.
Result<Stub> readStub(const cli::ParsedArgs& parsed, const std::string& target) {
  if (const auto named = parsed.value("stub")) {
    Result<FileImage> image = readWholeFile(*named);
    if (!image.ok()) return Status::failure("stub " + image.status().message());
    return Stub{*named, std::move(*image)};
  }
  const Result<std::string> self = currentExecutablePath();
  if (!self.ok()) return Status::failure(ownLocationUnknown(self.status()));
  Result<Stub> stub = findStub(target, *self);
  if (stub.ok()) return stub;
  return Status::failure(
      (stub.status().code() == Status::Code::kNoPermission ? "refusing the stub " : "") +
      stub.status().message() + " (see 'tavmor targets'; --stub names one)");
}

// The script to pack: the file at path, or standard input for "-".
Result<std::string> readScript(const std::string& path) {
  if (path == "-") return readStandardInput();
  const Result<FileImage> file = readWholeFile(path);
  if (!file.ok()) return file.status();
  return std::string(reinterpret_cast<const char*>(file->bytes.get()), file->size);
}

}  // namespace

bool decodesTo(const unsigned char* image, std::uint64_t imageSize, const unsigned char* script,
               std::uint64_t scriptSize) {
  const auto span = findPayload(image, imageSize);
  if (!span) return false;
  const auto decoded = decodeScript(image, *span);
  return decoded.ok() && decoded->length == scriptSize &&
         (scriptSize == 0 || std::memcmp(decoded->bytes.get(), script, scriptSize) == 0);
}

Result<PackedFile> buildLauncherFile(const unsigned char* stub, std::uint64_t stubSize,
                                     const unsigned char* script, std::uint64_t scriptSize,
                                     const WindowsResources& resources) {
  const ExecutableLayout layout = describeExecutable(stub, stubSize);
  if (layout.format == ExecutableFormat::kUnknown) {
    return Status::failure("not an ELF or PE executable");
  }
  if (layout.imageEnd > stubSize) {
    return Status::failure("its headers describe more data than the file holds");
  }
  const std::vector<unsigned char> payload = encodeRunLength(script, scriptSize);
  const auto imageEnd = static_cast<std::size_t>(layout.imageEnd);
  PackedFile packed;
  packed.bytes.reserve(imageEnd + kPayloadMarkerSize + payload.size());
  packed.bytes.assign(stub, stub + imageEnd);
  if (layout.certificate && layout.certificateEntryOffset) {
    std::memset(packed.bytes.data() + *layout.certificateEntryOffset, 0, 8);
    packed.removedSignature = true;
  }
  const bool addsResources = resources.icon || resources.version;
  if (addsResources) {
    if (!layout.pe) {
      return Status::failure(Status::Code::kUsage,
                             "the --windows-... options need a Windows stub, and it is ELF");
    }
    Result<std::vector<unsigned char>> image =
        withWindowsResources(packed.bytes.data(), packed.bytes.size(), *layout.pe, resources);
    if (!image.ok()) return image.status();
    packed.bytes = std::move(*image);
  }
  packed.bytes.insert(packed.bytes.end(), kPayloadMarker, kPayloadMarker + kPayloadMarkerSize);
  packed.bytes.insert(packed.bytes.end(), payload.begin(), payload.end());
  // Adding resources moves no header, so the stub's headers still say where the checksum is.
  if (addsResources) updatePeChecksum(packed.bytes.data(), packed.bytes.size(), *layout.pe);
  if (!decodesTo(packed.bytes.data(), packed.bytes.size(), script, scriptSize)) {
    return Status::failure("the packed file does not decode to the script");
  }
  return packed;
}

namespace {

Status pack(const cli::ParsedArgs& parsed) {
  const auto output = parsed.value("output");
  if (!output || output->empty()) return cli::usageFailure("missing -o OUT");
  const auto target = parsed.value("target");
  if (target && parsed.value("stub")) {
    return cli::usageFailure("--target and --stub exclude each other");
  }
  if (target && !isKnownTarget(*target)) {
    std::string known;
    for (const auto& name : targetNames()) known += (known.empty() ? "" : ", ") + name;
    return cli::usageFailure("unknown target '" + *target + "'; the targets are " + known);
  }
  const auto windowsOption = firstWindowsOption(parsed);
  if (windowsOption && !parsed.value("stub") &&
      target.value_or(hostTarget()).rfind("windows-", 0) != 0) {
    return cli::usageFailure(*windowsOption + " is for Windows targets, not " +
                             target.value_or(hostTarget()));
  }
  const Result<WindowsResources> resources = windowsResourcesFromOptions(parsed, *output);
  if (!resources.ok()) return resources.status();
  const std::string scriptPath = parsed.operands[0];
  const Result<Stub> stub = readStub(parsed, target.value_or(hostTarget()));
  if (!stub.ok()) return stub.status();

  // Packing over the script would lose it. (Packing over the stub is a repack, and allowed.)
  if (scriptPath != "-" && *output != "-" && sameFile(*output, scriptPath)) {
    return Status::failure(*output + ": is the script itself; choose another output");
  }
  const Result<std::string> scriptText = readScript(scriptPath);
  if (!scriptText.ok()) return scriptText.status();
  const auto* script = reinterpret_cast<const unsigned char*>(scriptText->data());
  const std::uint64_t scriptSize = scriptText->size();

  const Result<PackedFile> packed =
      buildLauncherFile(stub->image.bytes.get(), stub->image.size, script, scriptSize, *resources);
  if (!packed.ok()) {
    return Status::failure(packed.status().code(),
                           "stub " + stub->path + ": " + packed.status().message());
  }

  const auto checkFinished = [&](const std::string& tempPath) {
    const Result<FileImage> written = readWholeFile(tempPath);
    if (!written.ok()) return written.status();
    if (decodesTo(written->bytes.get(), written->size, script, scriptSize)) {
      return Status::success();
    }
    return Status::failure("it does not decode to the script");
  };
  if (const Status written = cli::writeOutput(*output, packed->bytes.data(), packed->bytes.size(),
                                              FileMode::kExecutable, checkFinished);
      !written.ok()) {
    return written;
  }
  if (packed->removedSignature) {
    cli::printNote("note: the stub's signature was removed; sign " + *output + " again");
  }
  if (const auto problem = *output != "-" ? nameProblem(*output) : std::nullopt) {
    cli::printNote("warning: pack: " + *output + ": " + *problem);
  }
  return Status::success();
}

}  // namespace

int packCommand(const std::vector<std::string>& args) {
  std::vector<cli::OptionSpec> options = {
      {"output", 'o', true}, {"stub", '\0', true}, {"target", '\0', true}};
  for (const auto& spec : windowsOptionSpecs()) options.push_back(spec);
  return cli::runVerb({"pack", kPackHelp, options, "SCRIPT"}, args, pack);
}

}  // namespace tavmor
