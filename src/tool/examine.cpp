#include "tool/examine.hpp"

#include "payload/format.hpp"
#include "platform/path.hpp"
#include "staging/staging.hpp"
#include "util/hex.hpp"

namespace tavmor {
namespace {

constexpr std::uint64_t kCertificateAlignment = 8;

std::string bytes(std::uint64_t n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

// What the system starts as a program: an ET_EXEC file, or an ET_DYN one that names an
// interpreter or has an entry point (a position-independent executable, static or not); a shared
// library has neither.
bool runsAsProgram(const ExecutableLayout& layout) {
  return layout.elfType == kElfTypeExecutable ||
         (layout.elfType == kElfTypeShared && (layout.elfInterpreter || layout.elfEntry != 0));
}

// The machines a Linux launcher is built for, each in its byte order.
struct ElfLauncher {
  std::uint32_t machine;
  std::uint8_t byteOrder;
};
constexpr ElfLauncher kElfLaunchers[] = {{kElfMachineX8664, kElfLittleEndian},
                                         {kElfMachineAArch64, kElfLittleEndian},
                                         {kElfMachineS390, kElfBigEndian}};

const char* byteOrderName(std::uint8_t byteOrder) {
  return byteOrder == kElfBigEndian ? "big-endian" : "little-endian";
}

void examineElfMachine(const ExecutableLayout& layout, std::vector<std::string>& warnings) {
  const bool orderKnown =
      layout.elfByteOrder == kElfLittleEndian || layout.elfByteOrder == kElfBigEndian;
  if (!orderKnown) {
    warnings.push_back("an ELF file of byte order " + std::to_string(layout.elfByteOrder) +
                       ", which is neither little- nor big-endian");
  }
  const std::string machine = machineName(layout.format, layout.machine);
  for (const auto& launcher : kElfLaunchers) {
    if (launcher.machine != layout.machine) continue;
    if (orderKnown && launcher.byteOrder != layout.elfByteOrder) {
      warnings.push_back(std::string("a ") + byteOrderName(layout.elfByteOrder) +
                         " ELF file; the launcher for " + machine + " is " +
                         byteOrderName(launcher.byteOrder));
    }
    return;
  }
  warnings.push_back("built for " + machine +
                     "; the Linux launcher is built for x86-64, AArch64 and S/390");
}

// What in an ELF or PE file's headers makes it no file the launcher could be: the launcher is
// built as a 64-bit ELF program for x86-64, AArch64 (both little-endian) and S/390 (big-endian),
// and as a PE32+ one for x86-64.
void examineKind(const ExecutableLayout& layout, std::vector<std::string>& warnings) {
  if (layout.format == ExecutableFormat::kElf) {
    if (layout.elfClass == kElfClass32) {
      warnings.push_back("a 32-bit ELF file; the launcher is a 64-bit program");
    } else if (layout.elfClass != kElfClass64) {
      warnings.push_back("an ELF file of class " + std::to_string(layout.elfClass) +
                         ", which is neither 32- nor 64-bit");
    }
    examineElfMachine(layout, warnings);
  } else {
    if (layout.peMagic == kPe32Magic) {
      warnings.push_back("a PE32 file, a 32-bit program; the launcher is PE32+, 64-bit");
    } else if (layout.peMagic != kPe32PlusMagic) {
      warnings.push_back("a PE file whose optional header has the magic 0x" +
                         hexNumber(layout.peMagic) + ", neither PE32 (0x" + hexNumber(kPe32Magic) +
                         ") nor PE32+ (0x" + hexNumber(kPe32PlusMagic) + ")");
    }
    if (layout.machine != kPeMachineAmd64) {
      warnings.push_back("built for " + machineName(layout.format, layout.machine) +
                         "; the Windows launcher is built for x86-64");
    }
  }
  const bool readsImage = layout.format == ExecutableFormat::kPe || elfLayoutRead(layout);
  if (readsImage && layout.format == ExecutableFormat::kElf && !runsAsProgram(layout)) {
    warnings.push_back("an ELF " + elfTypeName(layout) +
                       ", not an executable program: the system does not run it");
  }
  if (readsImage && !layout.hasImage) {
    warnings.push_back(layout.format == ExecutableFormat::kElf
                           ? "no executable image: the ELF headers describe no segment to load"
                           : "no executable image: the PE headers describe no section with data");
  }
}

void examineFormat(const LauncherFileReport& report, std::vector<std::string>& warnings) {
  const ExecutableLayout& layout = report.layout;
  if (layout.format == ExecutableFormat::kUnknown) {
    warnings.push_back("not an ELF or PE executable, so not a launcher file");
  } else if (layout.imageEnd > report.fileSize) {
    warnings.push_back("the executable headers describe more data than the file's " +
                       bytes(report.fileSize) + " (the file is truncated or its headers lie)");
  } else {
    examineKind(layout, warnings);
  }
}

std::optional<CertificateReport> examineCertificate(const unsigned char* image,
                                                    const LauncherFileReport& report,
                                                    std::vector<std::string>& warnings) {
  if (!report.layout.certificate) return std::nullopt;
  CertificateReport cert;
  cert.offset = report.layout.certificate->offset;
  cert.size = report.layout.certificate->size;
  const std::uint64_t fileSize = report.fileSize;
  const std::string where = "the certificate table (offset " + std::to_string(cert.offset) + ", " +
                            bytes(cert.size) + ")";
  if (cert.offset > fileSize || cert.size > fileSize - cert.offset) {
    warnings.push_back(where + " lies outside the file of " + bytes(fileSize));
    return cert;
  }
  cert.setApart = report.layout.appendedEnd == cert.offset && cert.offset + cert.size == fileSize;
  if (cert.offset < report.layout.appendedStart) {
    warnings.push_back(where + " begins inside the executable image");
    return cert;
  }
  if (!cert.setApart) {
    warnings.push_back(where +
                       " does not run to the end of the file, so the launcher takes it for part "
                       "of the script");
    return cert;
  }
  if (const auto entry = readCertificateEntry(image, fileSize, *report.layout.certificate)) {
    cert.entryLength = entry->length;
    cert.revision = entry->revision;
    cert.type = entry->type;
    if (*cert.entryLength < kCertificateEntryHeaderSize || *cert.entryLength > cert.size) {
      warnings.push_back(where + " holds an entry of " + bytes(*cert.entryLength) +
                         ", which does not fit it");
    }
  } else {
    warnings.push_back(where + " is too small to hold a signature");
  }
  return cert;
}

// Markers in the appended data, the launcher's one included.
std::uint64_t countMarkers(const unsigned char* image, const ExecutableLayout& layout) {
  std::uint64_t count = 0;
  std::uint64_t searched = layout.appendedEnd - layout.appendedStart;
  while (const auto marker = findLastMarker(image + layout.appendedStart, searched)) {
    ++count;
    // Occurrences may overlap: the next one may end just before this one's last byte.
    searched = *marker + kPayloadMarkerSize - 1;
  }
  return count;
}

// Signing pads the file with zero bytes to align the certificate table it appends. Those bytes
// end up in the payload, where they make zero-count pairs (and maybe an odd byte) that decode to
// nothing. Counted here: the most zero bytes, fewer than the alignment, that leave whole pairs.
std::uint64_t signingPaddingOf(const unsigned char* payload, std::uint64_t length) {
  std::uint64_t zeros = 0;
  while (zeros < kCertificateAlignment - 1 && zeros < length && payload[length - 1 - zeros] == 0) {
    ++zeros;
  }
  if ((length - zeros) % kPairSize != 0 && zeros != 0) --zeros;
  return zeros;
}

void examinePayload(const unsigned char* image, LauncherFileReport& report) {
  const PayloadSpan& span = *report.payload;
  const unsigned char* payload = image + span.payloadStart;
  const std::uint64_t length = span.payloadEnd - span.payloadStart;
  if (report.certificate && report.certificate->setApart) {
    report.signingPadding = signingPaddingOf(payload, length);
  }
  const std::uint64_t pairBytes = length - report.signingPadding;
  report.pairCount = pairBytes / kPairSize;
  report.oddTrailingByte = pairBytes % kPairSize != 0;
  for (std::uint64_t i = 0; i + 1 < pairBytes; i += kPairSize) {
    if (payload[i] == 0) ++report.zeroCountPairs;
  }
  if (report.markerCount > 1) {
    report.warnings.push_back(std::to_string(report.markerCount) +
                              " markers in the appended data; the launcher runs only what follows "
                              "the last, at offset " +
                              std::to_string(span.markerOffset));
  }
  if (report.oddTrailingByte) {
    report.warnings.push_back(
        "the payload ends in an odd byte, which the launcher ignores (the file may be truncated)");
  }
  if (report.zeroCountPairs != 0) {
    report.warnings.push_back(std::to_string(report.zeroCountPairs) +
                              (report.zeroCountPairs == 1 ? " pair has" : " pairs have") +
                              " a zero count, which tavmor never writes");
  }

  // The launcher's decoder sizes its block for every pair, so it decodes them all, or nothing.
  const auto script = decodeScript(image, span);
  if (!script.ok()) {
    report.warnings.push_back("the script decodes to " + bytes(decodedLength(payload, length)) +
                              ", more than memory holds; the launcher cannot run it either");
    return;
  }
  report.script = ScriptReport{script->length, sha256(script->bytes.get(), script->length)};
}

}  // namespace

LauncherFileReport examineLauncherFile(const unsigned char* image, std::uint64_t size) {
  LauncherFileReport report;
  report.fileSize = size;
  report.layout = describeExecutable(image, size);
  examineFormat(report, report.warnings);
  report.certificate = examineCertificate(image, report, report.warnings);
  if (report.layout.pe) {
    report.windowsResources = examineWindowsResources(image, size, *report.layout.pe);
    const auto& problems = report.windowsResources->problems;
    report.warnings.insert(report.warnings.end(), problems.begin(), problems.end());
  }
  report.markerCount = countMarkers(image, report.layout);
  report.payload = findPayload(image, report.layout);
  if (!report.payload) {
    report.warnings.push_back(kNoScriptFound);
    return report;
  }
  examinePayload(image, report);
  return report;
}

std::optional<std::string> nameProblem(const std::string& path) {
  const auto length = tempScriptNameTooLong(path.substr(fileNameStart(path)));
  if (!length) return std::nullopt;
  return "started by this name, the launcher stages its script under a name of " +
         std::to_string(*length) +
         " characters, longer than file systems allow (255), and does not run; give the file "
         "a shorter name";
}

std::string elfTypeName(const ExecutableLayout& layout) {
  switch (layout.elfType) {
    case kElfTypeNone:
      return "file of no type (ET_NONE)";
    case kElfTypeRelocatable:
      return "relocatable object (ET_REL)";
    case kElfTypeExecutable:
      return "executable (ET_EXEC)";
    case kElfTypeShared:
      if (!elfLayoutRead(layout)) {
        return "shared object or position-independent executable (ET_DYN)";
      }
      if (layout.elfInterpreter) return "position-independent executable (ET_DYN, interpreter)";
      if (layout.elfEntry != 0) return "position-independent executable (ET_DYN, entry point)";
      return "shared object (ET_DYN, no interpreter, no entry point)";
    case kElfTypeCore:
      return "core dump (ET_CORE)";
    default:
      return "file of unknown type 0x" + hexNumber(layout.elfType, 4);
  }
}

}  // namespace tavmor
