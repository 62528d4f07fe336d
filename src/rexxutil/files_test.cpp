#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "rexxutil/fake_interpreter.hpp"
#include "support/test_support.hpp"

namespace tavmor::test {
namespace {

using rexxutil::regStemWrite;
using rexxutil::sysCopyObject;
using rexxutil::sysDumpVariables;
using rexxutil::sysMoveObject;

// A copy or move that cannot finish keeps the source and leaves no part of the copy; a copy onto
// the file itself changes nothing. A file size limit stands for a full disk.
TEST(FileWrites, KeepWhatTheyCannotFinish) {
  const TempDir dir;
  const std::string source = dir / "source";
  const std::string content(100000, 'x');
  writeFile(source, content);
  ASSERT_EQ(::symlink("source", (dir / "alias").c_str()), 0);
  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0755), 0);
  EXPECT_EQ(call(sysCopyObject, {source, source}), "0");
  EXPECT_EQ(call(sysCopyObject, {source, dir / "alias"}), "0");
  EXPECT_EQ(call(sysCopyObject, {dir / "missing", dir / "copy"}), "2");
  EXPECT_NE(call(sysCopyObject, {dir / "folder", dir / "copy"}), "0");
  EXPECT_FALSE(exists(dir / "copy"));
  EXPECT_EQ(call(sysCopyObject, {source, dir / "copy"}), "0");
  EXPECT_TRUE(readFile(dir / "copy") == content);
  EXPECT_EQ(statOf(dir / "copy").st_mtime, statOf(source).st_mtime);
  EXPECT_TRUE(readFile(source) == content);

  // Moved to another file system, a file is copied: under a file size limit, as on a full disk,
  // the copy fails, and the source stays.
  struct stat shm {};
  const bool otherFileSystem =
      ::stat("/dev/shm", &shm) == 0 && shm.st_dev != statOf(dir.path()).st_dev;
  const std::string elsewhere = "/dev/shm/tavmor-rexxutil-" + std::to_string(::getpid());
  const struct {
    rexxutil::Function* function;
    std::string target;
    bool existing;  // holds "old" before, and must after
  } cases[] = {{sysCopyObject, dir / "limited", false},
               {sysCopyObject, dir / "old", true},
               {sysCopyObject, elsewhere, false},
               {sysMoveObject, elsewhere, false}};
  for (const auto& c : cases) {
    if (c.target == elsewhere && !otherFileSystem) continue;
    if (c.existing) writeFile(c.target, "old");
    EXPECT_NE(callWithFileSizeLimit(4096, c.function, {source, c.target}), "0") << c.target;
    EXPECT_EQ(readFile(c.target), c.existing ? std::optional<std::string>("old") : std::nullopt)
        << c.target;
    EXPECT_TRUE(readFile(source) == content) << c.target;
  }
  // A file written whole is replaced whole or not at all; a listing that cannot be written says
  // so.
  const std::string old = dir / "old";
  variables() = {{"S.0", "1"}, {"S.1", content}};
  EXPECT_EQ(callWithFileSizeLimit(4096, regStemWrite, {old, "S."}), "1");
  EXPECT_EQ(readFile(old), "old");
  EXPECT_EQ(callWithFileSizeLimit(4096, sysDumpVariables, {old}), "-1");
  EXPECT_EQ(call(regStemWrite, {old, "S."}), "0");
  EXPECT_TRUE(readFile(old) == content + "\n");
}

}  // namespace
}  // namespace tavmor::test
