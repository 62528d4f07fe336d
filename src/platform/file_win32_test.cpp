// Whole-file reading and atomic replacement with Windows file names and devices.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "platform/file.hpp"
#include "platform/path.hpp"
#include "platform/replace.hpp"
#include "platform/self.hpp"
#include "support/test_support.hpp"

namespace tavmor {
namespace {

using test::TempDir;

int entriesIn(const std::string& dir) {
  int entries = 0;
  for ([[maybe_unused]] const auto& e :
       std::filesystem::directory_iterator(test::nativePath(dir))) {
    ++entries;
  }
  return entries;
}

const unsigned char* bytesOf(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

TEST(FileWin32, ReadsRegularFilesOnlyWhateverTheirName) {
  TempDir dir;
  const std::string content("MZ\0\r\n\x1a tail", 11);
  const std::string named = dir.path() + "\\d\xc3\xb6n\xc3\xa9\xe6\x97\xa5.exe";
  test::writeFile(named, content);
  const Result<FileImage> ok = readWholeFile(named);
  ASSERT_TRUE(ok.ok()) << ok.status().message();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ok->bytes.get()), ok->size), content);

  for (const std::string& refused :
       {dir.path(), dir.path() + "\\missing.exe", std::string("NUL"), std::string("CON"),
        std::string("report"), dir.path() + "\\t\xebst.exe"}) {
    EXPECT_EQ(readWholeFile(refused).status().code(), Status::Code::kCannotOpen) << refused;
  }
}

TEST(FileWin32, ReplacesInOneStepAndLeavesNothingBehindOnFailure) {
  TempDir dir;
  const std::string target = dir.path() + "\\out.exe";
  test::writeFile(target, std::string(10000, 'o'));
  const Status replaced =
      replaceFileAtomically(target, bytesOf("new"), 3, FileMode::kExecutable, nullptr);
  ASSERT_TRUE(replaced.ok()) << replaced.message();
  EXPECT_EQ(test::readFile(target), "new");
  EXPECT_EQ(entriesIn(dir.path()), 1);

  // A check that fails keeps the old file.
  std::string checked;
  const auto refuse = [&](const std::string& temp) {
    checked = temp;
    return Status::failure("refused");
  };
  const Status refused =
      replaceFileAtomically(target, bytesOf("other"), 5, FileMode::kExecutable, refuse);
  EXPECT_EQ(refused.message(), "the written file did not check out: refused");
  EXPECT_EQ(checked.rfind(dir.path() + "\\.out.exe.", 0), 0u) << checked;
  EXPECT_EQ(test::readFile(target), "new");
  EXPECT_EQ(entriesIn(dir.path()), 1);

  // A directory at the name is never replaced.
  const std::string taken = dir.path() + "\\taken";
  ASSERT_TRUE(::CreateDirectoryW(test::nativePath(taken).c_str(), nullptr));
  EXPECT_EQ(replaceFileAtomically(taken, bytesOf("x"), 1, FileMode::kOwnerOnly, nullptr)
                .message()
                .rfind("cannot replace it: ", 0),
            0u);
  EXPECT_EQ(entriesIn(dir.path()), 2);

  const Status failed = replaceFileAtomically(dir.path() + "\\missing\\out.exe", bytesOf("x"), 1,
                                              FileMode::kOwnerOnly, nullptr);
  EXPECT_EQ(failed.message().find("cannot create"), 0u) << failed.message();
}

TEST(FileWin32, KnowsItsOwnExecutable) {
  const Result<std::string> found = currentExecutablePath();
  ASSERT_TRUE(found.ok()) << found.status().message();
  const std::string& self = *found;
  EXPECT_EQ(self.substr(self.size() - 4), ".exe") << self;
  EXPECT_NE(self.find("tavmor_win32_unit_tests"), std::string::npos) << self;
}

}  // namespace
}  // namespace tavmor
