// A packed script behaves as regina runs it directly: Regina's own example programs and focused
// cases, each run both ways with the same working directory, stdin, environment and arguments.
// What may differ, by design: the program's name (the temp file, taken here as equal to the
// script's path), the banner, and the exit status (0 when packed).
#include "compat/compat.hpp"

#include <random>

#include "rexxhost/source.hpp"
#include "util/escape.hpp"

namespace tavmor::test {
namespace {

TEST_F(Compat, ReginasExamplesRunAlike) {
  // The ones that run without input; animal asks questions, rexxcps measures speed, and
  // extqueue starts fifty copies of its own file in the background, which a packed script's
  // staged file outlives by five seconds only: how many start in time is up to the scheduler.
  // Those that tell the date and time run on a fake clock.
  for (const char* example : {"block", "dateconv", "dynfunc", "newstr", "testeof", "timeconv"}) {
    Options options;
    options.fakeClock = std::string_view(example).find("conv") != std::string_view::npos;
    expectAlike(kExamples + "/" + example + ".rexx", options);
  }
  if (!kReginaLinkedIn) expectAlike(kExamples + "/gci-try.rexx");
}

TEST_F(Compat, ExternalFunctionPackagesLoadAsUnderRegina) {
  const std::string loader = script("loader",
                                    "rc = RxFuncAdd('SysLoadFuncs', 'regutil', 'SysLoadFuncs')\n"
                                    "say 'RxFuncAdd' rc\n"
                                    "call SysLoadFuncs\n"
                                    "say 'SysUtilVersion' SysUtilVersion()\n");
  const Outcome p = packed(loader, Options());
  EXPECT_EQ(p.out, "RxFuncAdd 0\nSysUtilVersion 3.6\n");
  EXPECT_EQ(p.out, direct(loader, Options()).out);
}

TEST_F(Compat, CommandsReachTheShell) {
  std::string text =
      "say address() userid()\n"
      "'echo hi'\n"
      "say 'rc='rc\n"
      "'exit 3'\n"
      "say 'rc='rc\n"
      "address system 'echo two >written'\n"
      "exit 3\n";
  if (kReginaLinkedIn) text = "parse source s; say s\n" + text;
  const std::string path = script("commands", text);
  expectAlike(path);
  EXPECT_EQ(direct(path, Options()).status, 3);
}

TEST_F(Compat, EveryArgumentArrivesOnItsOwn) {
  const std::string path = script("args",
                                  "say 'count' arg()\n"
                                  "do i = 1 to arg()\n"
                                  "  say i length(arg(i)) '['arg(i)']'\n"
                                  "end\n");
  std::vector<std::vector<std::string>> cases = {
      {},
      {"one"},
      {"", " spaced ", "quo\"ted'", "n\xc3\xa4ive \xe2\x9c\x93"},
      {std::string(100000, 'x')}};
  for (const int count : {32, 33, 1000}) {
    std::vector<std::string> many;
    for (int i = 1; i <= count; ++i) many.push_back(std::to_string(i));
    cases.push_back(many);
  }
  for (const auto& args : cases) {
    if (!kReginaLinkedIn && args.size() > 32) continue;
    // regina -a passes them the same way; plain regina would join them into one.
    Options options;
    options.args = args;
    const Outcome d = direct(path, options, true);
    const Outcome p = packed(path, options);
    EXPECT_EQ(p.out, d.out) << args.size() << " arguments";
    EXPECT_EQ(p.out.rfind("count " + std::to_string(args.size()) + "\n", 0), 0u);
  }
}

TEST_F(Compat, SourceStdinAndConditionsAlike) {
  expectAlike(script("crlf", "say 'first'\r\nsay sourceline()\r\nsay '['sourceline(2)']'\r\n"));
  Options input;
  input.stdinData = "one\ntwo\n\nlast";
  expectAlike(script("stdin", "do while lines() > 0\n  say '>' linein()\nend\n"), input);
  expectAlike(script("empty", ""));
  expectAlike(script("comments", "/* nothing\n   at all */\n-- here\n"));
  for (const char* blank : {"\t", "\v", "\f"}) {  // each ends a line comment
    expectAlike(script("blank", std::string("--") + blank + "say 'hello'\n"));
    expectAlike(script("blank", std::string("#!/usr/bin/regina\n--") + blank + "say 'hello'\n"));
  }
  expectAlike(script("error", "say 'before'\nx = 1 +\nsay 'after'\n"));
  // Packed, the program's own tree outlives its run; the trees made while it runs go as they
  // are done with: INTERPRET's, and an external routine's on every call.
  const std::string routine = script("twice", "parse arg n\nreturn n * 2\n");
  expectAlike(script("trees", "do i = 1 to 300\n  x = '" + routine +
                                  "'(i); interpret 'y = x + 1'\nend\nsay x y\nexit 5\n"));

  // SIGINT raises HALT, once the script shows that it waits (all on one line, so that the
  // line the signal lands on is known).
  const std::string halting = script("halting",
                                     "signal on halt\n"
                                     "call lineout 'ready', 'yes'; call lineout 'ready'; "
                                     "do forever; nop; end\n"
                                     "halt:\n"
                                     "say 'halted at' sigl\n"
                                     "exit 4\n");
  Options interrupt;
  interrupt.started = [](int pid, const std::string& cwd) {
    for (int i = 0; i < 3000 && !exists(cwd + "/ready"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid, SIGINT);
  };
  const Outcome d = direct(halting, interrupt);
  EXPECT_EQ(d.out, "halted at 2\n");
  EXPECT_EQ(packed(halting, interrupt).out, d.out);
}

// The interpreter library runs nothing for a program without a clause, which Regina would run
// from memory into a crash. Every byte value, in and around comments, strings and a "#!" line:
// whatever it takes for empty must do nothing under regina, and whatever regina silently runs
// must not crash packed.
TEST_F(Compat, NoProgramThatReginaRunsIsTakenForAnEmptyOne) {
  std::vector<std::string> programs;
  for (int value = 1; value < 256; ++value) {
    const std::string byte(1, static_cast<char>(value));
    for (const std::string& program : {"--" + byte + "say 1", "#!\n/*" + byte + "*/," + byte}) {
      programs.push_back(program);
    }
  }
  const std::vector<std::string> pieces = {"--", "/*", "*/", "\n", "\r\n", "\r", " ",    "\t",
                                           "\v", "\f", ";",  ",",  "'",    "\"", "\x1a", "say 1"};
  std::mt19937 random(20261209);
  for (int i = 0; i < 300; ++i) {
    std::string program = random() % 5 == 0 ? "#!x\n" : "";
    for (auto n = random() % 7 + 1; n > 0; --n) {
      program += random() % 4 == 0 ? std::string(1, static_cast<char>(random() % 255 + 1))
                                   : pieces[random() % pieces.size()];
    }
    programs.push_back(program);
  }
  int silentClauses = 0;
  for (const std::string& program : programs) {
    const std::string path = script("generated", program);
    const RunResult r = run(kRegina, {path});
    const bool silent = r.status == 0 && r.out.empty() && r.err.empty();
    const bool empty = holdsNoClause(program.data(), program.size());
    EXPECT_TRUE(silent || !empty) << escaped(program) << " does something under regina";
    if (silent && !empty) {
      ++silentClauses;
      const Outcome p = packed(path, Options());
      EXPECT_TRUE(p.out.empty() && p.err.empty()) << escaped(program) << ": " << p.err;
    }
  }
  EXPECT_LT(silentClauses, 20);  // a few, such as "#", a command that the shell takes for a comment
}

TEST_F(Compat, OnlyTheStagedFileEverRuns) {
  const std::string path = script("victim", "say 'the packed script'\n");
  const std::string file = programs_ / "victim";
  ASSERT_EQ(run(kTool, {"pack", path, "-o", file, "--stub", kLauncher}).status, 0);
  const std::string staged = tmp_ / ".victim.tmp";
  // Just before the interpreter opens the staged file, it goes, and look-alikes appear.
  RunOptions options;
  options.env.emplace("TMPDIR", tmp_.path());
  FileInterception vanish;
  vanish.path = staged;
  vanish.atOpen = true;
  vanish.action = [&] {
    std::filesystem::remove(staged);
    for (const char* ext : {".rexx", ".rex", ".cmd", ".rx"})
      writeFile(staged + ext, "say 'planted'\n");
  };
  options.beforeFirstRead = vanish;
  const RunResult r = run(file, {}, options);
  EXPECT_EQ(r.status, 255);
  EXPECT_EQ(r.out.find("planted"), std::string::npos) << r.out;
  EXPECT_EQ(r.err,
            "ERROR: Cannot read the Rexx script " + staged + ": No such file or directory\n");

  // A script Regina cannot run is refused in one line, and its staged file goes at once.
  const std::string nul = script("nul", std::string("say 1\n/* \0 */\n", 14));
  ASSERT_EQ(run(kTool, {"pack", nul, "-o", programs_ / "nul", "--stub", kLauncher}).status, 0);
  RunOptions inTmp;
  inTmp.env.emplace("TMPDIR", tmp_.path());
  const RunResult refused = run(programs_ / "nul", {}, inTmp);
  EXPECT_EQ(refused.status, 255);
  EXPECT_EQ(refused.err, "ERROR: The Rexx script " + (tmp_ / ".nul.tmp") +
                             " holds a NUL byte on line 2, which Regina cannot run.\n");
  EXPECT_FALSE(exists(tmp_ / ".nul.tmp"));

  // Whatever the umask, the owner can read what the launcher staged.
  const RunResult masked = run("/bin/sh", {"-c", "umask 0477 && exec \"$0\"", file}, inTmp);
  EXPECT_EQ(masked.status, 0) << masked.err;
  EXPECT_NE(masked.out.find("the packed script\n"), std::string::npos) << masked.out;
}

}  // namespace
}  // namespace tavmor::test
