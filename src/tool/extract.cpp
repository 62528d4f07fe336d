#include "tool/extract.hpp"

#include <cstring>

#include "payload/payload.hpp"
#include "platform/file.hpp"
#include "tool/cli.hpp"
#include "tool/examine.hpp"

namespace tavmor {
namespace {

constexpr char kExtractHelp[] =
    "Usage: tavmor extract FILE [-o OUT]\n"
    "\n"
    "Writes the script the launcher file FILE runs, exactly as the launcher would hand it to the\n"
    "interpreter, to OUT or to standard output.\n"
    "\n"
    "Options:\n"
    "  -o, --output OUT    the file to write (\"-\" for standard output; a file is replaced\n"
    "                      atomically, readable by its owner only; a device or pipe is\n"
    "                      written as it is)\n"
    "  -h, --help          show this help\n";

Status extract(const cli::ParsedArgs& parsed) {
  const std::string output = parsed.value("output").value_or("-");
  if (output.empty()) return cli::usageFailure("empty output file name");
  const std::string& path = parsed.operands[0];

  // Writing the script over the launcher file it came from would lose that file.
  if (output != "-" && sameFile(output, path)) {
    return Status::failure(output + ": is the launcher file itself; choose another output");
  }
  const Result<FileImage> image = readWholeFile(path);
  if (!image.ok()) return image.status();
  const auto span = findPayload(image->bytes.get(), image->size);
  if (!span) return Status::failure(path + ": " + kNoScriptFound);
  const auto script = decodeScript(image->bytes.get(), *span);
  if (!script.ok()) return Status::failure(path + ": " + script.status().message());

  const auto checkWritten = [&](const std::string& tempPath) {
    const Result<FileImage> written = readWholeFile(tempPath);
    if (!written.ok()) return written.status();
    if (written->size == script->length &&
        std::memcmp(written->bytes.get(), script->bytes.get(), script->length) == 0) {
      return Status::success();
    }
    return Status::failure("it does not hold the script");
  };
  return cli::writeOutput(output, script->bytes.get(), script->length, FileMode::kOwnerOnly,
                          checkWritten);
}

}  // namespace

int extractCommand(const std::vector<std::string>& args) {
  return cli::runVerb({"extract", kExtractHelp, {{"output", 'o', true}}, "FILE"}, args, extract);
}

}  // namespace tavmor
