// The Windows launcher and tool as a Windows user meets them: launcher files made by tavmor.exe,
// started from cmd or directly, with the recording stand-in rexx.dll beside them. The programs
// under test come from TAVMOR_TEST_LAUNCHER, TAVMOR_TEST_TOOL and TAVMOR_TEST_STANDIN.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "launcher/banner.hpp"
#include "platform/path.hpp"
#include "support/test_support.hpp"

namespace tavmor::test {
namespace {

std::string fromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) throw std::runtime_error(std::string(name) + " is not set");
  return value;
}

const std::string kLauncher = fromEnvironment("TAVMOR_TEST_LAUNCHER");
const std::string kShortDelayLauncher = fromEnvironment("TAVMOR_TEST_SHORT_DELAY_LAUNCHER");
const std::string kTool = fromEnvironment("TAVMOR_TEST_TOOL");
const std::string kStandin = fromEnvironment("TAVMOR_TEST_STANDIN");

constexpr int kStatusAllBitsSet = -1;
constexpr char kScript[] = "/* report */\r\nsay 'hello'\r\n";

std::string join(const std::string& dir, const std::string& name) { return dir + "\\" + name; }

std::string unixLines(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// Texts as the stand-in logs them.
std::vector<std::string> standinHexes(const std::vector<std::string>& texts) {
  std::vector<std::string> hexes;
  for (const std::string& text : texts) hexes.push_back(standinHex(text));
  return hexes;
}

std::string cmdExe() {
  wchar_t dir[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(dir, MAX_PATH);
  const auto path = utf8FromPath(std::wstring(dir, length) + L"\\cmd.exe");
  if (!path) throw std::runtime_error("the system directory's name is not Unicode");
  return *path;
}

void copyFile(const std::string& from, const std::string& to) {
  ASSERT_TRUE(::CopyFileW(nativePath(from).c_str(), nativePath(to).c_str(), FALSE))
      << from << " -> " << to;
}

void makeDirectory(const std::string& path) {
  ASSERT_TRUE(::CreateDirectoryW(nativePath(path).c_str(), nullptr)) << path;
}

// The call log that the stand-in writes for one run of a script with arguments that it logs as
// `loggedItems`.
std::string expectedCalls(const std::vector<std::string>& loggedItems, const std::string& program,
                          const std::string& script) {
  std::ostringstream log;
  log << "create\nnewArray 0 A1\n";
  for (std::size_t i = 0; i < loggedItems.size(); ++i) {
    log << "newString " << loggedItems[i] << " S" << i + 2 << "\n"
        << "put A1 S" << i + 2 << " " << i + 1 << "\n";
  }
  log << "call " << standinHex(program) << " A1\nprogram " << standinHex(script) << "\nterminate\n";
  return log.str();
}

// The argument items in the order the log shows them, as it shows them.
std::vector<std::string> loggedItems(const std::string& log) {
  std::vector<std::string> items;
  std::istringstream lines(log);
  std::string op, text;
  while (lines >> op) {
    if (op == "newString" && lines >> text) items.push_back(text);
    std::getline(lines, text);
  }
  return items;
}

class WindowsLauncherTest : public ::testing::Test {
 protected:
  // Packs kScript (or `script`) into folder\name with tavmor.exe and puts the stand-in beside it.
  std::string pack(const std::string& folder, const std::string& name,
                   const std::string& script = kScript, const std::string& stub = kLauncher) {
    const std::string scriptPath = join(dir_.path(), "script.rex");
    writeFile(scriptPath, script);
    const std::string out = join(folder, name);
    const RunResult packed = run(kTool, {"pack", scriptPath, "-o", out, "--stub", stub});
    EXPECT_EQ(packed.status, 0) << packed.err;
    copyFile(kStandin, join(folder, "rexx.dll"));
    return out;
  }

  RunOptions options(const std::string& cwd) {
    RunOptions o;
    o.cwd = cwd;
    o.env["TMP"] = tmp_.path();
    o.env["TEMP"] = tmp_.path();
    o.env["TAVMOR_STANDIN_LOG"] = log_;
    return o;
  }

  // Runs `command` from a batch file in `folder`, then shows %errorlevel% as cmd sees it.
  RunResult fromCmd(const std::string& folder, const std::string& command, RunOptions extra = {}) {
    const std::string batch = join(folder, "launch.bat");
    writeFile(batch, "@echo off\r\n" + command + "\r\necho errorlevel=%errorlevel%\r\n");
    RunOptions o = options(folder);
    for (const auto& [name, value] : extra.env) o.env[name] = value;
    o.argv = std::vector<std::string>{"cmd.exe", "/c", "launch.bat"};
    RunResult r = run(cmdExe(), {}, o);
    r.out = unixLines(r.out);
    r.err = unixLines(r.err);
    return r;
  }

  std::string calls() { return readFile(log_).value_or(""); }
  std::string tempScript(const std::string& name) { return join(tmp_.path(), name); }

  TempDir dir_;
  TempDir tmp_;
  TempDir logDir_;
  std::string log_ = join(logDir_.path(), "calls.log");
};

void expectBanner(const std::string& out) {
  const std::string banner = "Tavmor Launcher, ver. 250515\nCopyright (c) " +
                             std::to_string(utcYear(currentUnixNanos())) + "\n";
  EXPECT_EQ(out.rfind(banner, 0), 0u) << out;
  const std::size_t third = out.find('\n', banner.size());
  EXPECT_NE(third, std::string::npos) << out;
}

TEST_F(WindowsLauncherTest, HandsTheScriptItsArgumentsInOrder) {
  struct Case {
    const char* arguments;  // as typed at the prompt
    std::vector<std::string> items;
    bool anyOrder;  // wildcard matches come in the file system's order
  };
  const Case cases[] = {
      {"alpha \"two words\" gamma", {"alpha", "two words", "gamma"}, false},
      {"", {}, false},
      {"*.txt", {"a.txt", "b.txt"}, true},
      {"first *.txt last", {"first", "a.txt", "b.txt", "last"}, true},
  };
  const std::string file = pack(dir_.path(), "report.exe");
  for (const char* other : {"a.txt", "b.txt", "c.dat"}) writeFile(join(dir_.path(), other), "");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    ::DeleteFileW(nativePath(log_).c_str());
    const RunResult r = fromCmd(dir_.path(), std::string("report.exe ") + c.arguments);
    expectBanner(r.out);
    EXPECT_NE(r.out.find("\nerrorlevel=0\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
    // Compared as logged: hex digits sort as the bytes they spell.
    std::vector<std::string> items = loggedItems(calls());
    const std::vector<std::string> wanted = standinHexes(c.items);
    if (c.anyOrder) {
      std::vector<std::string> sorted = items;
      std::sort(sorted.begin(), sorted.end());
      std::vector<std::string> sortedWanted = wanted;
      std::sort(sortedWanted.begin(), sortedWanted.end());
      EXPECT_EQ(sorted, sortedWanted);
      if (items.size() == wanted.size()) {
        EXPECT_EQ(items.front(), wanted.front());
        EXPECT_EQ(items.back(), wanted.back());
      }
    } else {
      EXPECT_EQ(items, wanted);
    }
    // The program is the temp directory joined with the dot name, holding exactly the script.
    EXPECT_EQ(calls(), expectedCalls(items, tempScript(".report.tmp"), kScript));
  }
}

TEST_F(WindowsLauncherTest, ReportsEachFailureWithItsErrorlevel) {
  const std::string file = pack(dir_.path(), "report.exe");
  copyFile(kLauncher, join(dir_.path(), "plain.exe"));
  writeFile(join(dir_.path(), "a-file"), "");
  struct Case {
    const char* what;
    std::string command;
    std::string error;  // the start of the one line on stderr
    const char* errorlevel;
    std::map<std::string, std::optional<std::string>> env;
  };
  const Case cases[] = {
      {"nothing appended", "plain.exe", "ERROR: Rexx code not found.", "1", {}},
      // cmd finds report.exe, but hands it the name as typed, which does not open.
      {"bare name", "report", "ERROR: opening report", "-1", {}},
      {"temp directory missing",
       "report.exe",
       "ERROR: Temp directory not found: " + join(dir_.path(), "missing"),
       "-1",
       {{"TMP", join(dir_.path(), "missing")}}},
      {"temp directory is a file",
       "report.exe",
       "ERROR: Temp directory is not a directory: " + join(dir_.path(), "a-file"),
       "-1",
       {{"TMP", join(dir_.path(), "a-file")}}},
      {"no interpreter instance",
       "report.exe",
       "ERROR: Cannot create a Rexx interpreter instance.",
       "-1",
       {{"TAVMOR_STANDIN_NO_INSTANCE", "1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ::DeleteFileW(nativePath(log_).c_str());
    RunOptions extra;
    extra.env = c.env;
    const RunResult r = fromCmd(dir_.path(), c.command, extra);
    expectBanner(r.out);
    EXPECT_NE(r.out.find(std::string("\nerrorlevel=") + c.errorlevel + "\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.err.rfind(c.error, 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(calls().find("call"), std::string::npos);
  }

  // The temp script file cannot be created: its name is taken by a directory.
  ::DeleteFileW(nativePath(tempScript(".report.tmp")).c_str());
  makeDirectory(tempScript(".report.tmp"));
  const RunResult r = fromCmd(dir_.path(), "report.exe");
  EXPECT_EQ(r.err, "ERROR: Cannot create temp file.\n");
  EXPECT_NE(r.out.find("\nerrorlevel=-1\n"), std::string::npos) << r.out;
}

TEST_F(WindowsLauncherTest, RunsFromAFolderWithANonAsciiName) {
  const std::string folder = join(dir_.path(), "t\xc3\xabst");  // tëst
  makeDirectory(folder);
  const std::string file = pack(folder, "report.exe");
  const std::string named = pack(folder, "r\xc3\xa4pport.exe");  // räpport.exe
  // A temp directory outside ASCII too, as a user named José has.
  const std::string userTemp = join(tmp_.path(), "Jos\xc3\xa9");
  makeDirectory(userTemp);
  struct Case {
    const char* how;
    std::string program;  // empty: through cmd, from dir_
    std::string argv0;
    std::string tempScript;
    bool userTemp;
  };
  const Case cases[] = {
      {"relative, from cmd", "", "t\xc3\xabst\\report.exe", tempScript(".report.tmp"), false},
      {"full path", file, file, tempScript(".report.tmp"), false},
      {"relative, directly", file, "t\xc3\xabst\\report.exe", tempScript(".report.tmp"), false},
      {"non-ASCII name", named, named, tempScript(".r\xc3\xa4pport.tmp"), false},
      {"non-ASCII temp directory", file, file, join(userTemp, ".report.tmp"), true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    ::DeleteFileW(nativePath(log_).c_str());
    RunOptions o = options(dir_.path());
    if (c.userTemp) o.env["TMP"] = userTemp;
    o.argv = c.program.empty() ? std::vector<std::string>{"cmd.exe", "/c", c.argv0}
                               : std::vector<std::string>{c.argv0};
    const RunResult r = run(c.program.empty() ? cmdExe() : c.program, {"x"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    expectBanner(unixLines(r.out));
    EXPECT_EQ(calls(), expectedCalls(standinHexes({"x"}), c.tempScript, kScript));
  }
}

TEST_F(WindowsLauncherTest, TempFileIsGoneAfterTheDelayWhileTheScriptRuns) {
  const std::string file = pack(dir_.path(), "long.exe", kScript, kShortDelayLauncher);
  RunOptions o = options(dir_.path());
  o.env["TAVMOR_STANDIN_WAIT_FOR_REMOVAL_MS"] = "10000";
  RunResult r = run(file, {}, o);
  EXPECT_EQ(r.status, 0) << r.err;
  // The stand-in read the file when the call began and returned once the file was gone (or 10
  // seconds later), and the launcher ended as soon as the call returned: only the removal
  // thread, a second in, can have removed it.
  EXPECT_EQ(calls(), expectedCalls({}, tempScript(".long.tmp"), kScript));
  EXPECT_FALSE(exists(tempScript(".long.tmp")));

  // A script that ends at once leaves the file behind: nothing waits for the thread.
  o.env.erase("TAVMOR_STANDIN_WAIT_FOR_REMOVAL_MS");
  r = run(file, {}, o);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(tempScript(".long.tmp")), kScript);
}

TEST_F(WindowsLauncherTest, RexxDllMissingStopsTheStartBeforeTheBanner) {
  const std::string file = pack(dir_.path(), "report.exe");
  ASSERT_TRUE(::DeleteFileW(nativePath(join(dir_.path(), "rexx.dll")).c_str()));
  RunOptions o = options(dir_.path());
  o.env["PATH"] = "C:\\windows\\system32";
  const RunResult r = run(file, {}, o);
  EXPECT_EQ(static_cast<unsigned>(r.status), 0xC0000135u);  // STATUS_DLL_NOT_FOUND
  EXPECT_EQ(r.out, "");
}

TEST(WindowsTool, PacksWithTheLauncherBesideItAndReportsErrorsInOneLine) {
  TempDir dir;
  const std::string script = join(dir.path(), "hello.rex");
  writeFile(script, kScript);
  const std::string viaDefault = join(dir.path(), "default.exe");
  const std::string viaStub = join(dir.path(), "stub.exe");
  RunResult r = run(kTool, {"pack", script, "-o", viaDefault});
  EXPECT_EQ(r.status, 0) << r.err;
  r = run(kTool, {"pack", script, "-o", viaStub, "--stub", kLauncher});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(viaDefault), readFile(viaStub));

  r = run(kTool, {"pack", join(dir.path(), "missing.rex"), "-o", viaStub});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("tavmor: pack: ", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;

  r = run(kTool, {"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(unixLines(r.out).rfind("tavmor ", 0), 0u) << r.out;
}

}  // namespace
}  // namespace tavmor::test
