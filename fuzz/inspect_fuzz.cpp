// `tavmor inspect` on an arbitrary file: the examination and both of its reports.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/check.hpp"
#include "tool/examine.hpp"
#include "tool/inspect.hpp"

using namespace tavmor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const LauncherFileReport report = examineLauncherFile(data, size);
  fuzz::check(report.fileSize == size, "the report has the file's size");
  if (report.payload) {
    fuzz::check(report.payload->payloadEnd <= size, "the payload lies inside the file");
    fuzz::check(report.script.has_value(), "a payload has a script");
  }
  const std::string text = inspectionText("fuzzed", report);
  const std::string json = inspectionJson("fuzzed", report);
  fuzz::check(!text.empty() && text.back() == '\n', "the text report ends with a newline");
  fuzz::check(json.size() >= 2 && json.front() == '{', "the JSON report is an object");
  return 0;
}
