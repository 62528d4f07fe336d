// The staging steps with Windows paths, names and temp directory.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/path.hpp"
#include "staging/staging.hpp"
#include "support/test_support.hpp"

namespace tavmor {
namespace {

using test::TempDir;

TEST(TempPathWin32, DerivesTheNameFromArgv0) {
  struct Case {
    const char* argv0;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"C:\\Tools\\report.exe", "T\\.report.tmp"},
      {"report.exe", "T\\.report.tmp"},
      {"report", "T\\.report.tmp"},
      {"C:\\bin\\report", "T\\.report.tmp"},
      {"C:\\my.tools\\report.exe", "T\\.my.tmp"},  // cut at the first "." of the whole path
      {".\\report.exe", "T\\..tmp"},
      {"C:report.exe", "T\\.report.tmp"},  // a drive prefix is no part of the name
      {"C:/Tools/report.exe", "T\\.report.tmp"},
      {"\\\\server\\share\\report.exe", "T\\.report.tmp"},
      {"C:\\Outils\\Donn\xc3\xa9"
       "es\\r\xc3\xa9sum\xc3\xa9.exe",
       "T\\.r\xc3\xa9sum\xc3\xa9.tmp"},
      {"C:\\t\xebst\\report.exe", std::nullopt},  // not UTF-8, though its name part is
  };
  for (const auto& c : cases) {
    EXPECT_EQ(makeTempScriptPath(c.argv0, "T"), c.expected) << c.argv0;
  }
  // GetTempPathW's trailing backslash does not double.
  EXPECT_EQ(makeTempScriptPath("report.exe", "C:\\T\\"), "C:\\T\\.report.tmp");
  EXPECT_FALSE(makeTempScriptPath("report.exe", "C:\\\xff"));
}

class TempDirectoryWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const wchar_t* name : {L"TMP", L"TEMP"}) {
      wchar_t value[32768];
      const DWORD length = ::GetEnvironmentVariableW(name, value, 32768);
      saved_.emplace_back(name, length > 0 ? std::optional<std::wstring>(value) : std::nullopt);
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      ::SetEnvironmentVariableW(name.c_str(), value ? value->c_str() : nullptr);
    }
  }
  static void setTmp(const std::string& utf8) {
    ::SetEnvironmentVariableW(L"TMP", test::nativePath(utf8).c_str());
  }

  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved_;
  TempDir dir_;
};

// The temp directory, or "failure: " and why there is none.
std::string tempDirectoryOrFailure() {
  const Result<std::string> dir = platformTempDirectory();
  return dir.ok() ? *dir : "failure: " + dir.status().message();
}

TEST_F(TempDirectoryWin32, IsWhatGetTempPathReportsAndMustBeADirectory) {
  setTmp(dir_.path());
  EXPECT_EQ(tempDirectoryOrFailure(), dir_.path() + "\\");

  const std::string nonAscii = dir_.path() + "\\t\xc3\xabmp";
  ASSERT_TRUE(::CreateDirectoryW(test::nativePath(nonAscii).c_str(), nullptr));
  setTmp(nonAscii);
  EXPECT_EQ(tempDirectoryOrFailure(), nonAscii + "\\");

  // A relative one is taken against the current directory, once: a script that changes
  // directory must not change where the removal looks.
  wchar_t current[MAX_PATH];
  const DWORD length = ::GetCurrentDirectoryW(MAX_PATH, current);
  setTmp(".");
  const Result<std::string> relative = platformTempDirectory();
  ASSERT_TRUE(relative.ok()) << relative.status().message();
  EXPECT_EQ(test::nativePath(*relative).rfind(std::wstring(current, length), 0), 0u) << *relative;

  setTmp(dir_.path() + "\\missing");
  EXPECT_EQ(tempDirectoryOrFailure(),
            "failure: Temp directory not found: " + dir_.path() + "\\missing\\");

  test::writeFile(dir_.path() + "\\file", "");
  setTmp(dir_.path() + "\\file");
  EXPECT_EQ(tempDirectoryOrFailure(),
            "failure: Temp directory is not a directory: " + dir_.path() + "\\file\\");
}

TEST(TempScriptWin32, RemovesAtOnceWithoutDelay) {
  TempDir dir;
  const std::string path = dir.path() + "\\.r\xc3\xa4pport.tmp";
  test::writeFile(path, "say 'hi'");
  removeAfterDelay(path, std::chrono::milliseconds(0));
  EXPECT_FALSE(test::exists(path));
  removeAfterDelay(path, std::chrono::milliseconds(-1));  // a missing file is no error
}

}  // namespace
}  // namespace tavmor
