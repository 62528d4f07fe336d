#pragma once
// Making launcher files: a launcher stub followed by the marker and the encoded script.

#include <cstdint>
#include <string>
#include <vector>

#include "peresource/windows_resources.hpp"
#include "util/status.hpp"

namespace tavmor {

struct PackedFile {
  std::vector<unsigned char> bytes;
  bool removedSignature = false;  // the stub was signed: the result must be signed again
};

// The stub with any appended payload (and, for a signed PE stub, its certificate table) removed,
// given `resources` (a PE stub only; its checksum then updated), followed by the marker and the
// encoded script. Fails with what keeps the stub from taking a script ("not an ELF or PE
// executable"); with Status::Code::kUsage for resources asked of an ELF stub.
Result<PackedFile> buildLauncherFile(const unsigned char* stub, std::uint64_t stubSize,
                                     const unsigned char* script, std::uint64_t scriptSize,
                                     const WindowsResources& resources = {});

// Whether the launcher's own search and decoder, run on image, give back exactly script.
bool decodesTo(const unsigned char* image, std::uint64_t imageSize, const unsigned char* script,
               std::uint64_t scriptSize);

// The "pack" verb; args follow the verb name.
int packCommand(const std::vector<std::string>& args);

}  // namespace tavmor
