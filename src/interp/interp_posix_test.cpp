// Runs the launcher's interpreter calls against the recording stand-in library.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <sstream>

#include "interp/interface.hpp"
#include "interp/interp.hpp"
#include "support/test_support.hpp"

namespace tavmor {
namespace {

using test::standinHex;

class InterpTest : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("TAVMOR_STANDIN_LOG", log_.c_str(), 1); }
  void TearDown() override {
    ::unsetenv("TAVMOR_STANDIN_LOG");
    ::unsetenv("TAVMOR_STANDIN_NO_INSTANCE");
  }
  std::string calls() { return test::readFile(log_).value_or(""); }

  test::TempDir dir_;
  std::string log_ = dir_ / "calls.log";
};

TEST_F(InterpTest, MakesTheCallsInOrderWithEachArgumentAsOneItem) {
  const std::string program = dir_ / ".report.tmp";
  test::writeFile(program, "say 'hi'\n");
  std::string a0 = "report", a1 = "alpha", a2 = "two words", a3 = "";
  char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), nullptr};
  const auto instance = runScript(program.c_str(), 4, argv);
  ASSERT_TRUE(instance.ok());
  terminateInstance(*instance);
  std::ostringstream expected;
  expected << "create\n"
           << "newArray 0 A1\n"
           << "newString " << standinHex("alpha") << " S2\nput A1 S2 1\n"
           << "newString " << standinHex("two words") << " S3\nput A1 S3 2\n"
           << "newString - S4\nput A1 S4 3\n"
           << "call " << standinHex(program) << " A1\n"
           << "program " << standinHex("say 'hi'\n") << "\n"
           << "terminate\n";
  EXPECT_EQ(calls(), expected.str());
}

TEST_F(InterpTest, NoArgumentsGiveAnEmptyArray) {
  std::string a0 = "report";
  char* argv[] = {a0.data(), nullptr};
  const auto instance = runScript("missing.tmp", 1, argv);
  ASSERT_TRUE(instance.ok());
  terminateInstance(*instance);
  EXPECT_EQ(calls(), "create\nnewArray 0 A1\ncall " + standinHex("missing.tmp") +
                         " A1\nprogram unreadable\nterminate\n");
}

TEST_F(InterpTest, AnInstanceThatCannotBeCreatedStopsEverything) {
  ::setenv("TAVMOR_STANDIN_NO_INSTANCE", "1", 1);
  std::string a0 = "report", a1 = "x";
  char* argv[] = {a0.data(), a1.data(), nullptr};
  EXPECT_EQ(runScript("p", 2, argv).status().message(),
            "Cannot create a Rexx interpreter instance.");
  EXPECT_EQ(calls(), "create\n");
}

TEST(InterpreterVectors, SlotsTheLauncherMustNotCallTrapLoudly) {
  void* instance = nullptr;
  void* thread = nullptr;
  ASSERT_NE(RexxCreateInterpreter(&instance, &thread, nullptr), 0u);
  using Slot = void (*)(void*);
  const auto slot = [](void* handle, std::size_t field, std::size_t offset) {
    const auto* vector = static_cast<const rexxapi::AnyFunction* const*>(handle)[field];
    return reinterpret_cast<Slot>(vector[offset / rexxapi::kSlotSize]);
  };
  EXPECT_EXIT(slot(thread, 1, 0x0)(thread), ::testing::ExitedWithCode(70),
              "^ERROR: .*offset 0x0 of the thread-context vector\n$");
  EXPECT_EXIT(slot(thread, 1, 0x218)(thread), ::testing::ExitedWithCode(70),
              "offset 0x218 of the thread-context vector");
  EXPECT_EXIT(slot(instance, 0, 0x10)(instance), ::testing::ExitedWithCode(70),
              "offset 0x10 of the instance vector");
  terminateInstance(instance);
}

}  // namespace
}  // namespace tavmor
