// A packed script behaves as regina runs it directly: Regina's own example programs and focused
// cases, each run both ways with the same working directory, stdin, environment and arguments.
// What may differ, by design: the program's name (the temp file, taken here as equal to the
// script's path), the banner, and the exit status (0 when packed).
#include "compat/compat.hpp"

namespace tavmor::test {
namespace {

TEST_F(Compat, ReginasExamplesRunAlike) {
  // The ones that run without input; animal asks questions and rexxcps measures speed. Those
  // that tell the date and time run on a fake clock, which the sanitizers do not run beside.
  for (const char* example :
       {"block", "dateconv", "dynfunc", "extqueue", "newstr", "testeof", "timeconv"}) {
    const bool tellsTime = std::string_view(example).find("conv") != std::string_view::npos;
    if (kSanitized && tellsTime) continue;
    Options clock;
    clock.fakeClock = tellsTime;
    expectAlike(kExamples + "/" + example + ".rexx", clock);
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
  expectAlike(script("error", "say 'before'\nx = 1 +\nsay 'after'\n"));

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

  // Whatever the umask, the owner can read what the launcher staged.
  RunOptions inTmp;
  inTmp.env.emplace("TMPDIR", tmp_.path());
  const RunResult masked = run("/bin/sh", {"-c", "umask 0477 && exec \"$0\"", file}, inTmp);
  EXPECT_EQ(masked.status, 0) << masked.err;
  EXPECT_NE(masked.out.find("the packed script\n"), std::string::npos) << masked.out;
}

}  // namespace
}  // namespace tavmor::test
