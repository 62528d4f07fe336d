// The launcher as a user meets it: real binaries, real Regina, a private temp directory each.
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/e2e.hpp"
#include "payload/payload.hpp"

namespace tavmor::test {
namespace {

constexpr char kShowArgs[] =
    "say 'count='arg()\n"
    "do i = 1 to arg()\n"
    "  say 'arg' i'=['arg(i)']'\n"
    "end\n";

class LauncherTest : public ::testing::Test {
 protected:
  RunResult start(const std::string& file, const std::vector<std::string>& args,
                  RunOptions options = {}) {
    options.env.emplace("TMPDIR", tmp_.path());
    return run(file, args, options);
  }

  TempDir dir_;
  TempDir tmp_;
};

TEST_F(LauncherTest, RunsTheScriptWithItsArguments) {
  const std::string file = packScript(dir_, "report", kShowArgs);
  RunResult r = start(file, {"alpha", "two words", "gamma"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out.rfind(kBanner1, 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\nCopyright (c) "), std::string::npos);
  EXPECT_NE(r.out.find("count=3\narg 1=[alpha]\narg 2=[two words]\narg 3=[gamma]\n"),
            std::string::npos)
      << r.out;

  r = start(file, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("count=0\n"), std::string::npos) << r.out;
}

TEST_F(LauncherTest, BannerComesFirstAndHasThreeLines) {
  const std::string file = packScript(dir_, "hello", "say 'script line'\n");
  const RunResult r = start(file, {});
  const std::size_t scriptLine = r.out.find("script line\n");
  ASSERT_NE(scriptLine, std::string::npos) << r.out;
  const std::string banner = r.out.substr(0, scriptLine);
  EXPECT_EQ(std::count(banner.begin(), banner.end(), '\n'), 3) << banner;
}

TEST_F(LauncherTest, ScriptResultsNeverChangeTheStatus) {
  for (const char* script : {"exit 7\n", "say 'before'\nx = = = \n", "signal nowhere\n", ""}) {
    const std::string file = packScript(dir_, "status", script);
    const RunResult r = start(file, {});
    EXPECT_EQ(r.status, 0) << script << r.err;
  }
}

TEST_F(LauncherTest, ReportsEachFailureWithItsStatus) {
  // Nothing appended: the launcher itself.
  RunResult r = start(kLauncher, {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "ERROR: Rexx code not found.\n");
  EXPECT_EQ(r.out.rfind(kBanner1, 0), 0u);

  // Started by a bare name found along PATH: argv[0] does not open from the current directory.
  const std::string file = packScript(dir_, "report", "say 'ran'\n");
  RunOptions bare;
  bare.argv = std::vector<std::string>{"report"};
  bare.cwd = tmp_.path();
  r = start(file, {}, bare);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ERROR: opening report: No such file or directory\n");

  // The temp script file cannot be created: its name is taken by a directory.
  ASSERT_EQ(::mkdir((tmp_ / ".report.tmp").c_str(), 0700), 0);
  r = start(file, {});
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ERROR: Cannot create temp file.\n");
  EXPECT_EQ(r.out.find("ran"), std::string::npos);

  // The temp script path is the launcher file itself: ./..tmp in the temp directory stages
  // ..tmp there.
  const auto launcherBytes = readFile(file);
  writeFile(tmp_ / "..tmp", *launcherBytes);
  ASSERT_EQ(::chmod((tmp_ / "..tmp").c_str(), 0700), 0);
  RunOptions self;
  self.argv = std::vector<std::string>{"./..tmp"};
  self.cwd = tmp_.path();
  r = start(tmp_ / "..tmp", {}, self);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ERROR: Cannot create temp file.\n");
  EXPECT_TRUE(readFile(tmp_ / "..tmp") == launcherBytes) << "the launcher file was replaced";
}

TEST_F(LauncherTest, BadTempDirectoryOrMissingArgv0EndCleanly) {
  const std::string file = packScript(dir_, "report", "say 'ran'\n");
  // A newline in a name is shown escaped: the error stays one line.
  RunOptions missing;
  missing.env["TMPDIR"] = dir_ / "missing\ndir";
  RunResult r = run(file, {}, missing);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err, "ERROR: Temp directory not found: " + dir_.path() + "/missing\\ndir\n");

  RunOptions notDir;
  notDir.env["TMPDIR"] = file;
  r = run(file, {}, notDir);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err.rfind("ERROR: Temp directory is not a directory: ", 0), 0u) << r.err;

  RunOptions newline;
  newline.argv = std::vector<std::string>{dir_ / "new\nline\x1b[2J"};
  r = start(file, {}, newline);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.err,
            "ERROR: opening " + dir_.path() + "/new\\nline\\x1b[2J: No such file or directory\n");

  // No argv at all, or (as newer kernels hand such a process) one empty argument.
  for (const std::vector<std::string>& argv : {std::vector<std::string>{}, {""}}) {
    RunOptions noArgv;
    noArgv.argv = argv;
    r = start(file, {}, noArgv);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "ERROR: The launcher was started without its own name (argv[0]).\n");
  }
}

TEST_F(LauncherTest, StagesTheScriptByteExactOwnerOnly) {
  const std::string script = "/* staged */\r\nsay 'bytes'\n\n";
  const std::string file = packScript(dir_, "staged.bin", script);
  test::writeFile(tmp_ / ".staged.tmp", std::string(10000, 'L'));  // an earlier run's leftover
  const RunResult r = start(file, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(readFile(tmp_ / ".staged.tmp"), script);  // a quick script leaves it behind
  struct stat st {};
  ASSERT_EQ(::stat((tmp_ / ".staged.tmp").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(LauncherTest, NeverWritesThroughALinkPlantedAtTheTempName) {
  const std::string file = packScript(dir_, "report", "say 'ran'\n");
  const std::string victim = dir_ / "victim";
  writeFile(victim, "precious");
  ASSERT_EQ(::symlink(victim.c_str(), (tmp_ / ".report.tmp").c_str()), 0);
  const RunResult r = start(file, {});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("ran\n"), std::string::npos);
  EXPECT_EQ(readFile(victim), "precious");
}

TEST_F(LauncherTest, TempFileIsGoneWhileALongScriptStillRunsAndNothingElseIs) {
  // A relative TMPDIR, and a script that changes directory to where the same relative name
  // holds a file of its own: the removal takes the file the launcher wrote, and only that.
  const std::string startDir = dir_ / "start";
  const std::string elsewhere = dir_ / "elsewhere";
  for (const std::string& folder : {startDir, startDir + "/t", elsewhere, elsewhere + "/t"}) {
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0) << folder;
  }
  writeFile(elsewhere + "/t/.long.tmp", "not the launcher's");
  // The script waits, in the launcher built for tests, for its own file to go, and runs on.
  const std::string script =
      "parse arg own, elsewhere\n"
      "say 'at start:' (stream(own, 'c', 'query exists') <> '')\n"
      "call directory elsewhere\n"
      "do 600 while stream(own, 'c', 'query exists') <> ''\n"
      "  address system 'sleep 0.05'\n"
      "end\n"
      "say 'later:' (stream(own, 'c', 'query exists') <> '')\n"
      "say 'done'\n";
  const std::string file = packScript(dir_, "long", script, kTestClockLauncher);
  RunOptions relative;
  relative.cwd = startDir;
  relative.env["TMPDIR"] = "t";
  const RunResult r = run(file, {startDir + "/t/.long.tmp", elsewhere}, relative);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("at start: 1\nlater: 0\ndone\n"), std::string::npos) << r.out;
  EXPECT_FALSE(exists(startDir + "/t/.long.tmp"));
  EXPECT_EQ(readFile(elsewhere + "/t/.long.tmp"), "not the launcher's");
}

TEST(LauncherBinary, HoldsNoMarkerThatWouldCount) {
  const auto image = readFile(kLauncher);
  ASSERT_TRUE(image);
  EXPECT_FALSE(findPayload(reinterpret_cast<const unsigned char*>(image->data()), image->size()));
}

}  // namespace
}  // namespace tavmor::test
