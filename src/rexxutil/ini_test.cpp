#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "rexxutil/fake_interpreter.hpp"
#include "support/test_support.hpp"

namespace tavmor::test {
namespace {

using rexxutil::sysIni;
using Args = std::vector<std::optional<std::string>>;

// Each edit changes its own lines and no others, with the file's line ends.
TEST(SysIni, EditsOnlyTheLinesItChanges) {
  const std::string shapes = "; c\ntop=1\n[App]\nk=1\n; about j\nj=2\n\n[Spaced] \nk2=v2\n";
  struct Case {
    std::string before;
    Args args;  // after the file name
    std::string result;
    std::string after;
  } cases[] = {
      {shapes,
       {"App", "New", "v"},
       "",
       "; c\ntop=1\n[App]\nk=1\n; about j\nj=2\n\nNEW=v\n[Spaced] \nk2=v2\n"},
      {shapes,
       {"app", "K", "9"},
       "",
       "; c\ntop=1\n[App]\nK=9\n; about j\nj=2\n\n[Spaced] \nk2=v2\n"},
      {shapes,
       {"Spaced", "k2", "x"},
       "",
       "; c\ntop=1\n[App]\nk=1\n; about j\nj=2\n\n[Spaced] \nK2=x\n"},
      {shapes,
       {"App", "k", "DELETE:"},
       "",
       "; c\ntop=1\n[App]\n; about j\nj=2\n\n[Spaced] \nk2=v2\n"},
      {shapes, {"App"}, "", "; c\ntop=1\n[Spaced] \nk2=v2\n"},
      {shapes, {"Spaced", "DELETE:"}, "", "; c\ntop=1\n[App]\nk=1\n; about j\nj=2\n\n"},
      {shapes, {"New", "k", "v"}, "", shapes + "[NEW]\nK=v\n"},
      {shapes, {"none", "k", "DELETE:"}, "", shapes},
      {shapes, {"App", "j"}, "2", shapes},
      {shapes, {"App", "top"}, "ERROR:", shapes},
      {"[A]\r\nk=1\r\n[B]\r\nb=2\r\n", {"B", "n", "9"}, "", "[A]\r\nk=1\r\n[B]\r\nb=2\r\nN=9\r\n"},
      {"[A]\r\nk=1\r\n", {"A", "k"}, "1", "[A]\r\nk=1\r\n"},
      {"[A]\nk=1\n[B]\nb=2", {"B", "n", "9"}, "", "[A]\nk=1\n[B]\nb=2\nN=9\n"},
      {"[A]\nk=1\n[B]\nb=2", {"C", "n", "9"}, "", "[A]\nk=1\n[B]\nb=2\n[C]\nN=9\n"},
      {"[A]\nk=1\n[B]\nb=2", {"A", "k", "3"}, "", "[A]\nK=3\n[B]\nb=2"},
      {"[A] ;x\nk= 1\nbare\n[a]\nk=dup\n", {"a", "K"}, " 1", "[A] ;x\nk= 1\nbare\n[a]\nk=dup\n"},
      {"[A\nx=a=b\n", {"A", "x"}, "a=b", "[A\nx=a=b\n"},
      {"", {"C", "k", "v"}, "", "[C]\nK=v\n"},
  };
  const TempDir dir;
  const std::string file = dir / "a.ini";
  for (const Case& c : cases) {
    writeFile(file, c.before);
    Args args = c.args;
    args.insert(args.begin(), file);
    EXPECT_EQ(call(sysIni, args), c.result) << c.before;
    EXPECT_EQ(readFile(file), c.after) << c.before;
  }
}

TEST(SysIni, ListsSectionsAndKeysIntoStems) {
  const TempDir dir;
  const std::string file = dir / "a.ini";
  writeFile(file, "top=1\n[A]\nk=1\n; c\n\nbare\n[B]\n[a]\nz=2\n");
  variables().clear();
  EXPECT_EQ(call(sysIni, {file, "ALL:", "s"}), "");
  EXPECT_EQ(call(sysIni, {file, "a", "ALL:", "k"}), "");
  EXPECT_EQ(call(sysIni, {file, "ALL:"}), "ERROR:");
  const std::map<std::string, std::string> expected = {{"S.0", "3"},   {"S.1", "A"}, {"S.2", "B"},
                                                       {"S.3", "a"},   {"K.0", "2"}, {"K.1", "k"},
                                                       {"K.2", "bare"}};
  EXPECT_EQ(variables(), expected);
}

// The file keeps what the edit is not about: its mode, owner and other names; a link is written
// through; a name planted beside it is never followed; on failure nothing changes.
TEST(SysIni, KeepsTheFileAndWhatIsAroundIt) {
  const TempDir dir;
  const std::string file = dir / "c.ini";
  const std::string edited = "[A]\nK=2\n";
  writeFile(file, "[A]\nk=1\n");
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  writeFile(dir / "keep.txt", "keep");
  ASSERT_EQ(::symlink("keep.txt", (dir / "c.ini.tmp").c_str()), 0);
  ASSERT_EQ(::symlink("c.ini", (dir / "link.ini").c_str()), 0);
  ASSERT_EQ(::link(file.c_str(), (dir / "hard.ini").c_str()), 0);
  const struct stat before = statOf(file);

  EXPECT_EQ(call(sysIni, {dir / "link.ini", "A", "k", "2"}), "");
  EXPECT_EQ(readFile(file), edited);
  EXPECT_EQ(readFile(dir / "hard.ini"), edited);
  EXPECT_EQ(readFile(dir / "keep.txt"), "keep");
  EXPECT_TRUE(S_ISLNK(statOf(dir / "link.ini").st_mode));
  ASSERT_EQ(::unlink((dir / "hard.ini").c_str()), 0);
  EXPECT_EQ(call(sysIni, {file, "A", "k", "3"}), "");
  const struct stat after = statOf(file);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(readFile(dir / "keep.txt"), "keep");

  // A file size limit stands for a full disk.
  writeFile(file, edited);
  EXPECT_EQ(callWithFileSizeLimit(4, sysIni, {file, "A", "k", "a long value"}), "ERROR:");
  EXPECT_EQ(readFile(file), edited);
  // One the user may not write is refused, not replaced (root may write any).
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_EQ(call(sysIni, {file, "A", "k", "4"}), "ERROR:");
    EXPECT_EQ(readFile(file), edited);
  }
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"c.ini", "c.ini.tmp", "keep.txt", "link.ini"}));
}

}  // namespace
}  // namespace tavmor::test
