#pragma once
// What a launcher file holds, found with the launcher's own search and decoder, and what in it
// would keep the launcher from running the script the file was packed with.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exeformat/exeformat.hpp"
#include "payload/payload.hpp"
#include "peresource/windows_resources.hpp"
#include "sha256/sha256.hpp"

namespace tavmor {

inline constexpr char kNoScriptFound[] =
    "no script: no marker in the data appended after the executable image";

// A PE image's certificate table, as its security directory entry describes it.
struct CertificateReport {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  // Lies after the image and runs to the end of the file, so the payload stops where it begins.
  bool setApart = false;
  // The header of the table's first entry (WIN_CERTIFICATE), when the table is in the file.
  std::optional<std::uint32_t> entryLength;
  std::uint16_t revision = 0;
  std::uint16_t type = 0;
};

// The script as the launcher decodes it.
struct ScriptReport {
  std::uint64_t length = 0;
  Sha256Digest sha256{};
};

struct LauncherFileReport {
  std::uint64_t fileSize = 0;
  ExecutableLayout layout;
  std::optional<PayloadSpan> payload;  // as the launcher finds it
  std::uint64_t markerCount = 0;       // markers in the appended data
  // Zero bytes at the end of the payload that align a certificate table added by signing.
  std::uint64_t signingPadding = 0;
  std::uint64_t pairCount = 0;
  std::uint64_t zeroCountPairs = 0;
  bool oddTrailingByte = false;
  std::optional<ScriptReport> script;
  std::optional<CertificateReport> certificate;
  // A PE file's icon and version information; nothing for other files.
  std::optional<WindowsResourcesReport> windowsResources;
  // Everything that makes the file differ from what tavmor writes, or keeps the launcher from
  // running it as packed; one sentence each. Never empty when there is no script.
  std::vector<std::string> warnings;
};

// Examines the file image [image, image + size). Never reads outside it.
LauncherFileReport examineLauncherFile(const unsigned char* image, std::uint64_t size);

// Why the launcher file at `path`, started by that name, cannot run although its content is
// sound (its temp script's name would be too long), in one sentence; nothing when it can.
std::optional<std::string> nameProblem(const std::string& path);

// What an ELF file's type makes it, in words with the type's name: "executable (ET_EXEC)",
// "relocatable object (ET_REL)", "shared object (ET_DYN, no interpreter, no entry point)", ...
// Whether an ET_DYN file names an interpreter is read for 64-bit files only.
std::string elfTypeName(const ExecutableLayout& layout);

}  // namespace tavmor
