// RexxUtil in a launcher file answers as regina with regutil installed: loading it under each of
// its names, every function whose result is deterministic, and any other package missing. Each
// program runs both ways, as the other compatibility tests run theirs.
#include "compat/compat.hpp"

namespace tavmor::test {
namespace {

const std::string kRexxUtilPrograms = TAVMOR_REXXUTIL_PROGRAMS;
const std::string kCompatPrograms = TAVMOR_COMPAT_PROGRAMS;

constexpr const char* kRexxUtilProgramNames[] = {"loading", "arguments",  "stems", "files",
                                                 "links",   "semaphores", "system"};

TEST_F(Compat, RexxUtilAnswersAsRegutilDoes) {
  for (const char* program : kRexxUtilProgramNames) {
    expectAlike(kRexxUtilPrograms + "/" + program + ".rex");
  }
}

// Launcher files for the other Linux machines, packed for their targets with the stubs this build
// cross-built and run under qemu-user, answer as regina does here: byte order (s390x is
// big-endian) and word size show in Regina's arithmetic and in RexxUtil's stems, files and
// semaphores, if anywhere.
TEST_F(Compat, OtherLinuxMachinesRunAlike) {
  const std::vector<std::pair<std::string, std::string>> machines = TAVMOR_CROSS_TARGETS;
  if (machines.empty()) GTEST_SKIP() << "this build made no stub for another Linux machine";
  for (const auto& [target, emulator] : machines) {
    Options options;
    options.target = target;
    options.emulator = emulator;
    expectAlike(kCompatPrograms + "/tour.rex", options);
    for (const char* program : kRexxUtilProgramNames) {
      expectAlike(kRexxUtilPrograms + "/" + program + ".rex", options);
    }
  }
}

}  // namespace
}  // namespace tavmor::test
