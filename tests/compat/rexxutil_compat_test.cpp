// RexxUtil in a launcher file answers as regina with regutil installed: loading it under each of
// its names, every function whose result is deterministic, and any other package missing. Each
// program runs both ways, as the other compatibility tests run theirs.
#include "compat/compat.hpp"

namespace tavmor::test {
namespace {

const std::string kRexxUtilPrograms = TAVMOR_REXXUTIL_PROGRAMS;

TEST_F(Compat, RexxUtilAnswersAsRegutilDoes) {
  for (const char* program : {"loading", "arguments", "stems", "files", "links", "semaphores", "system"}) {
    expectAlike(kRexxUtilPrograms + "/" + program + ".rex");
  }
}

}  // namespace
}  // namespace tavmor::test
