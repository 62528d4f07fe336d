// The interpreter library on Regina, through the interface the launcher uses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interp/interface.hpp"
#include "interp/interp.hpp"
#include "support/test_support.hpp"

namespace tavmor {
namespace {

using test::TempDir;

// Regina linked in starts a program as a command with any number of arguments; through
// libregina.so's RexxStart, as a subroutine with at most 32.
constexpr bool kReginaLinkedIn = TAVMOR_REGINA_STATIC;
const std::string kInvocation = kReginaLinkedIn ? "COMMAND " : "SUBROUTINE ";

// Runs program through the interface with argument items at the given 1-based indexes (the
// launcher fills every index; other callers may leave gaps, which are omitted arguments), and
// returns the failure it was refused with.
Status callThroughInterface(const std::string& program,
                            const std::vector<std::pair<std::size_t, std::string>>& items) {
  void* instance = nullptr;
  void* thread = nullptr;
  if (RexxCreateInterpreter(&instance, &thread, nullptr) == 0)
    return Status::failure("no instance");
  const auto* vector = static_cast<const rexxapi::AnyFunction* const*>(thread)[1];
  const auto entry = [&](std::size_t offset) { return vector[offset / rexxapi::kSlotSize]; };
  const auto newArray =
      reinterpret_cast<rexxapi::NewArrayFunction>(entry(rexxapi::kNewArrayOffset));
  const auto newString =
      reinterpret_cast<rexxapi::NewStringFunction>(entry(rexxapi::kNewStringOffset));
  const auto put = reinterpret_cast<rexxapi::ArrayPutFunction>(entry(rexxapi::kArrayPutOffset));
  const auto call =
      reinterpret_cast<rexxapi::CallProgramFunction>(entry(rexxapi::kCallProgramOffset));
  void* array = newArray(thread, 0);
  for (const auto& [index, text] : items)
    put(thread, array, newString(thread, text.c_str()), index);
  call(thread, program.c_str(), array);
  terminateInstance(instance);
  return takeRefusal();
}

// A script that writes what it was given to `out`, one line each.
std::string reportingScript(const std::string& out) {
  return "out = '" + out +
         "'\n"
         "call lineout out, arg() address()\n"
         "do i = 1 to arg()\n"
         "  call lineout out, i arg(i, 'E') '['arg(i)']'\n"
         "end\n"
         "parse source system invocation name\n"
         "call lineout out, invocation name\n"
         "call lineout out\n";
}

TEST(ReginaHost, PassesEachArgumentAndOmitsTheGaps) {
  TempDir dir;
  const std::string program = dir / ".report.tmp";
  test::writeFile(program, reportingScript(dir / "out"));
  EXPECT_TRUE(callThroughInterface(program, {{1, "alpha"}, {2, "two words"}, {4, ""}}).ok());
  EXPECT_EQ(
      test::readFile(dir / "out"),
      "4 SYSTEM\n1 1 [alpha]\n2 1 [two words]\n3 0 []\n4 1 []\n" + kInvocation + program + "\n");
}

TEST(ReginaHost, TakesAThousandArgumentsAndRunsTwiceInOneProcess) {
  TempDir dir;
  const std::string program = dir / ".many.tmp";
  test::writeFile(program, reportingScript(dir / "out"));
  std::vector<std::pair<std::size_t, std::string>> items;
  for (std::size_t i = 1; i <= 1000; ++i) items.emplace_back(i, std::to_string(i));
  if (!kReginaLinkedIn) {
    EXPECT_EQ(callThroughInterface(program, items).message(),
              "Too many arguments: 1000 given, but this build's Regina takes at most 32.");
    return;
  }
  for (int run = 0; run < 2; ++run) {
    std::remove((dir / "out").c_str());
    EXPECT_TRUE(callThroughInterface(program, items).ok()) << run;
    const auto out = test::readFile(dir / "out");
    ASSERT_TRUE(out) << run;
    EXPECT_EQ(out->rfind("1000 SYSTEM\n1 1 [1]\n", 0), 0u) << run;
    EXPECT_NE(out->find("\n1000 1 [1000]\n" + kInvocation), std::string::npos) << run;
  }
}

TEST(ReginaHost, ProgramsWithoutAClauseRunAsNothing) {
  TempDir dir;
  for (const char* source : {"", "/* just a comment */\n", " ;\n,\n", "#!/usr/bin/regina\n"}) {
    const std::string program = dir / ".empty.tmp";
    test::writeFile(program, source);
    EXPECT_TRUE(callThroughInterface(program, {{1, "x"}}).ok()) << source;
  }
}

TEST(ReginaHost, RefusesWhatItCannotRunAndSaysWhy) {
  TempDir dir;
  const std::string missing = dir / ".gone.tmp";
  // What Regina would otherwise find in the file's place.
  test::writeFile(missing + ".rexx", "call lineout '" + (dir / "ran") + "', 'planted'\n");
  EXPECT_EQ(callThroughInterface(missing, {}).message(),
            "Cannot read the Rexx script " + missing + ": No such file or directory");
  EXPECT_FALSE(test::exists(dir / "ran"));

  const std::string nul = dir / ".nul.tmp";
  test::writeFile(nul, std::string("say 1\n/* \0 */\n", 14));
  EXPECT_EQ(callThroughInterface(nul, {}).message(),
            "The Rexx script " + nul + " holds a NUL byte on line 2, which Regina cannot run.");

  EXPECT_EQ(callThroughInterface(dir.path(), {}).message(),
            "Cannot read the Rexx script " + dir.path() + ": is a directory");
  // A refusal is that run's only: the next program runs.
  const std::string fine = dir / ".fine.tmp";
  test::writeFile(fine, "call lineout '" + (dir / "ran") + "', 'fine'\n");
  EXPECT_TRUE(callThroughInterface(fine, {}).ok());
  EXPECT_TRUE(test::exists(dir / "ran"));
}

}  // namespace
}  // namespace tavmor
