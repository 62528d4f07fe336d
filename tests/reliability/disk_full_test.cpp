// A disk that fills up while the launcher stages its script or while tavmor writes a launcher
// file, simulated with a file size limit (and SIGXFSZ ignored, so that the write fails as it
// does on a full disk instead of killing the process).
#include <csignal>

#include "reliability/reliability.hpp"

namespace tavmor::test {
namespace {

RunOptions withFileSizeLimit(RunOptions options, std::uint64_t bytes) {
  options.limits.push_back({RLIMIT_FSIZE, bytes});
  options.ignoredSignals.push_back(SIGXFSZ);
  return options;
}

TEST(DiskFull, StagingThatRunsOutOfRoomSaysSoRunsNothingAndKeepsTheEarlierFile) {
  TempDir dir;
  TempDir tmp;
  // A comment ahead of the only statement: half a script would say nothing.
  const std::string script = "/*" + std::string(64 * 1024, '=') + "*/\nsay 'the script ran'\n";
  const std::string file = packScript(dir, "full", script);
  const std::string leftover = "say 'an earlier run'\n";
  writeFile(tmp / ".full.tmp", leftover);

  for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{1}, std::uint64_t{4096},
                                    std::uint64_t{script.size() - 1}}) {
    const RunResult r = run(file, {}, withFileSizeLimit(inTempDir(tmp), limit));
    EXPECT_EQ(r.status, 255) << limit;
    EXPECT_EQ(r.err, "ERROR: Cannot write temp file " + tmp / ".full.tmp" + ": File too large\n")
        << limit;
    EXPECT_EQ(r.out.find("ran"), std::string::npos) << limit;
    EXPECT_EQ(readFile(tmp / ".full.tmp"), leftover) << limit;
    EXPECT_EQ(entriesIn(tmp.path()), 1) << "a partial file was left behind at " << limit;
  }

  const RunResult r = run(file, {}, withFileSizeLimit(inTempDir(tmp), script.size()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("the script ran\n"), std::string::npos) << r.out;
  EXPECT_EQ(readFile(tmp / ".full.tmp"), script);
}

TEST(DiskFull, PackThatRunsOutOfRoomKeepsTheOldOutputAndLeavesNoTemporaryFile) {
  TempDir dir;
  writeFile(dir / "s.rex", "say 'packed'\n");
  writeFile(dir / "out", "existing");
  const std::uint64_t stubSize = launcherImage().size();
  for (const std::uint64_t limit :
       {std::uint64_t{0}, std::uint64_t{4096}, stubSize / 2, stubSize}) {
    const RunResult r = run(kTool, {"pack", dir / "s.rex", "-o", dir / "out", "--stub", kLauncher},
                            withFileSizeLimit({}, limit));
    EXPECT_EQ(r.status, 1) << limit;
    EXPECT_EQ(r.err.rfind("tavmor: pack: ", 0), 0u) << r.err;
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_EQ(readFile(dir / "out"), "existing") << limit;
    EXPECT_EQ(entriesIn(dir.path()), 2) << "a temporary file was left behind at " << limit;
  }
}

}  // namespace
}  // namespace tavmor::test
