// A disk that fills up while the launcher stages its script or while tavmor writes a launcher
// file, simulated with a file size limit: with SIGXFSZ ignored, as on a full disk, and at its
// default, as a shell's `ulimit -f` leaves it, where a write past the limit ends the process
// unless it holds the signal back.
#include <csignal>

#include "reliability/reliability.hpp"

namespace tavmor::test {
namespace {

RunOptions withFileSizeLimit(RunOptions options, std::uint64_t bytes, bool signalIgnored) {
  options.limits.push_back({RLIMIT_FSIZE, bytes});
  if (signalIgnored) options.ignoredSignals.push_back(SIGXFSZ);
  return options;
}

constexpr bool kSignalIgnored[] = {true, false};

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
    for (const bool ignored : kSignalIgnored) {
      const RunResult r = run(file, {}, withFileSizeLimit(inTempDir(tmp), limit, ignored));
      EXPECT_EQ(r.status, 255) << limit << (ignored ? "" : ", SIGXFSZ at its default");
      EXPECT_EQ(r.err, "ERROR: Cannot write temp file " + tmp / ".full.tmp" + ": File too large\n")
          << limit;
      EXPECT_EQ(r.out.find("ran"), std::string::npos) << limit;
      EXPECT_EQ(readFile(tmp / ".full.tmp"), leftover) << limit;
      EXPECT_EQ(entriesIn(tmp.path()), 1) << "a partial file was left behind at " << limit;
    }
  }

  for (const bool ignored : kSignalIgnored) {
    const RunResult r = run(file, {}, withFileSizeLimit(inTempDir(tmp), script.size(), ignored));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("the script ran\n"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(tmp / ".full.tmp"), script);
  }
}

TEST(DiskFull, PackOrExtractThatRunsOutOfRoomKeepsTheOldOutputAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::string launcherFile = packScript(dir, "app", "say 'packed'\n");
  writeFile(dir / "out", "existing");
  const int before = entriesIn(dir.path());
  const std::uint64_t stubSize = launcherImage().size();
  for (const std::uint64_t limit :
       {std::uint64_t{0}, std::uint64_t{4096}, stubSize / 2, stubSize}) {
    for (const bool ignored : kSignalIgnored) {
      for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
               {"pack", dir / "app.rex", "-o", dir / "out", "--stub", kLauncher},
               {"extract", launcherFile, "-o", dir / "out"}}) {
        // The script is shorter than every limit but the first.
        if (args[0] == "extract" && limit != 0) continue;
        const RunResult r = run(kTool, args, withFileSizeLimit({}, limit, ignored));
        const std::string what =
            args[0] + " at " + std::to_string(limit) + (ignored ? "" : ", SIGXFSZ at its default");
        EXPECT_EQ(r.status, 1) << what;
        EXPECT_EQ(r.err.rfind("tavmor: " + args[0] + ": ", 0), 0u) << r.err;
        EXPECT_EQ(lineCount(r.err), 1) << r.err;
        EXPECT_EQ(readFile(dir / "out"), "existing") << what;
        EXPECT_EQ(entriesIn(dir.path()), before) << "a temporary file was left behind: " << what;
      }
    }
  }
}

}  // namespace
}  // namespace tavmor::test
