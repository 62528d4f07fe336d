// Launcher files and launcher paths that are not what they claim: not regular files, files that
// change while they are read, truncated or random images, markers and nothing else.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <random>

#include "reliability/reliability.hpp"

namespace tavmor::test {
namespace {

constexpr char kNoScript[] = "ERROR: Rexx code not found.\n";

// The launcher binary, run with argv[0] naming `file`: the launcher reads `file` as its own.
RunResult startAs(const std::string& file, const TempDir& tmp, RunOptions options = {}) {
  options.env["TMPDIR"] = tmp.path();
  options.argv = std::vector<std::string>{file};
  return run(kLauncher, {}, options);
}

TEST(LauncherPath, ThatIsNoRegularFileOrCannotBeReadEndsInOneLine) {
  TempDir dir;
  TempDir tmp;
  ASSERT_EQ(::mkdir((dir / "directory").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // nobody writes: a blocking read hangs
  ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);
  for (const auto& [path, reason] : std::vector<std::pair<std::string, std::string>>{
           {dir / "directory", "is a directory"},
           {dir / "fifo", "not a regular file"},
           {dir / "loop", "Too many levels of symbolic links"},
           {"/dev/zero", "not a regular file"},
           {"/dev/null", "not a regular file"}}) {
    const RunResult r = startAs(path, tmp);
    EXPECT_EQ(r.status, 255) << path;
    EXPECT_EQ(r.err, "ERROR: opening " + path + ": " + reason + "\n");
  }
  EXPECT_EQ(entriesIn(tmp.path()), 0);

  // A launcher file that may be run but not read (mode 111) cannot be opened, and says why.
  const std::string file = packScript(dir, "noread", "say 'ran'\n");
  ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0111), 0);
  RunOptions options = inTempDir(tmp);
  options.unprivileged = true;
  const RunResult r = run(file, {}, options);
  EXPECT_TRUE(refused(r, "ERROR: opening " + file + ": Permission denied\n")) << r.err;
}

TEST(LauncherFile, ThatChangesAfterItsOpeningIsTakenWholeOrRefused) {
  TempDir dir;
  TempDir tmp;
  // A script of more than one piece of the staged write, so that a change made at its first
  // write reaches the pieces after it. The doctored one has as many pairs: the size stays.
  std::string comment;
  while (comment.size() < 3 * kMiB) comment += "xyxyxyxyxyxyxyxyxyxyxyxyxyxyxyxyxyxyxy\n";
  const std::string script = "say 'the script ran'\n/*" + comment + "*/\n";
  std::string doctoredScript = script;
  const std::string injected = "*/say 'injected, ran!'/*";
  doctoredScript.replace(script.size() - 100, injected.size(), injected);
  const std::string image = launcherImage();
  const std::string bytes = image + payloadOf(script);
  const std::string doctored = image + payloadOf(doctoredScript);
  ASSERT_EQ(doctored.size(), bytes.size());
  const std::string file = dir / "changing";
  struct Case {
    const char* change;
    std::function<void()> action;
    bool mayRun;     // the whole script, as the file held it when opened
    bool mayRefuse;  // with "ERROR: reading FILE: ..."
  };
  const Case cases[] = {
      {"shrinks", [&] { ::truncate(file.c_str(), static_cast<off_t>(bytes.size() / 2)); }, false,
       true},
      {"grows",
       [&] { std::ofstream(file, std::ios::binary | std::ios::app) << std::string(4096, 'g'); },
       true, true},
      // An open file outlives its name: the launcher reads what it opened.
      {"vanishes", [&] { std::remove(file.c_str()); }, true, false},
      {"is replaced",
       [&] {
         writeFile(dir / "other", "not a launcher file");
         std::rename((dir / "other").c_str(), file.c_str());
       },
       true, false},
      {"is overwritten in place",
       [&] {
         const int fd = ::open(file.c_str(), O_WRONLY);
         const std::size_t at = image.size();
         EXPECT_EQ(::pwrite(fd, doctored.data() + at, doctored.size() - at, static_cast<off_t>(at)),
                   static_cast<ssize_t>(doctored.size() - at));
         ::close(fd);
       },
       false, true},
      {"is cut and extended back",
       [&] {
         ::truncate(file.c_str(), static_cast<off_t>(image.size() + 4096));
         ::truncate(file.c_str(), static_cast<off_t>(bytes.size()));
       },
       false, true},
  };
  for (const bool staging : {false, true}) {
    for (const Case& c : cases) {
      const std::string when = std::string(c.change) + (staging ? " while staged" : " when read");
      writeFile(file, bytes);
      // Timestamps tick more coarsely than a start takes: the file's times are put in the past,
      // where a change cannot fall into the tick of its opening.
      const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), past, 0), 0);
      std::remove((tmp / ".changing.tmp").c_str());
      RunOptions options;
      if (staging) {
        options.beforeFirstWrite = FileInterception{tmp / "..changing.tmp.", c.action, true};
      } else {
        options.beforeFirstRead = FileInterception{file, c.action};
      }
      const RunResult r = startAs(file, tmp, options);
      EXPECT_EQ(r.signal, 0) << when;
      const bool ran = ranWhole(r, "the script ran") && r.out.find("injected") == r.out.npos;
      EXPECT_TRUE((c.mayRun && ran) || (c.mayRefuse && refused(r, "ERROR: reading " + file + ": ")))
          << when << ": status " << r.status << ", " << r.out << r.err;
      if (r.status != 0) {
        EXPECT_EQ(entriesIn(tmp.path()), 0) << when;
      }
    }
  }
}

TEST(LauncherFile, EveryTruncationFindsNoScriptOrRunsTheWholePairsBeforeTheCut) {
  TempDir dir;
  TempDir tmp;
  // Every proper prefix of this script is an unterminated comment, so no cut can run a command.
  const std::string script = "/* every prefix of this is an unterminated comment */\n";
  const std::string image = launcherImage();
  const std::string payload = payloadOf(script);
  const std::string whole = image + payload;
  const std::string file = dir / "cut";

  std::vector<std::size_t> cuts = {0, 1, 4, 63, 64, 4096, image.size() / 2, image.size() - 1};
  for (std::size_t cut = image.size(); cut <= whole.size(); ++cut) cuts.push_back(cut);
  for (const std::size_t cut : cuts) {
    writeFile(file, whole.substr(0, cut));
    std::remove((tmp / ".cut.tmp").c_str());
    const RunResult r = startAs(file, tmp);
    EXPECT_EQ(r.signal, 0) << cut;
    if (cut < image.size() + kPayloadMarkerSize) {
      EXPECT_EQ(r.status, 1) << cut;
      EXPECT_EQ(r.err, kNoScript) << cut;
      EXPECT_FALSE(exists(tmp / ".cut.tmp")) << cut;
    } else {
      // The format has no length: the pairs before the cut are the script.
      EXPECT_EQ(r.status, 0) << cut;
      EXPECT_EQ(readFile(tmp / ".cut.tmp"),
                decodedPairs(whole.substr(image.size() + kPayloadMarkerSize,
                                          cut - image.size() - kPayloadMarkerSize)))
          << cut;
    }
  }
}

TEST(LauncherFile, RandomBytesFindNoScriptOrStageExactlyWhatThePairsSay) {
  TempDir dir;
  TempDir tmp;
  const std::string image = launcherImage();
  const std::string file = dir / "random";
  std::mt19937 random(20250515);
  std::uniform_int_distribution<int> byte(0, 255);
  auto randomBytes = [&](std::size_t n) {
    std::string bytes(n, '\0');
    for (char& b : bytes) b = static_cast<char>(byte(random));
    return bytes;
  };
  // Random pairs behind "/*" that hold no '*', '/' or NUL: whatever they say stays in a comment
  // (a NUL byte is refused before the interpreter starts).
  auto commentPairs = [&](std::size_t pairs) {
    std::string payload = "\x01/\x01*";
    for (std::size_t i = 0; i < pairs; ++i) {
      char value = static_cast<char>(byte(random));
      if (value == '*' || value == '/' || value == '\0') value = ' ';
      payload += static_cast<char>(byte(random));
      payload += value;
    }
    return payload;
  };

  for (int round = 0; round < 8; ++round) {
    const std::size_t length = std::uniform_int_distribution<std::size_t>(0, 64 * 1024)(random);
    for (const std::string& content : {randomBytes(length), image + randomBytes(length)}) {
      writeFile(file, content);
      const RunResult r = startAs(file, tmp);
      EXPECT_EQ(r.status, 1) << round;
      EXPECT_EQ(r.err, kNoScript) << round;
    }
    const std::string pairs = commentPairs(length / 2) + (round % 2 == 1 ? "\x07" : "");
    writeFile(file, image + kPayloadMarker + pairs);
    const RunResult r = startAs(file, tmp);
    EXPECT_EQ(r.status, 0) << round;
    EXPECT_EQ(readFile(tmp / ".random.tmp"), decodedPairs(pairs)) << round;
  }
}

TEST(LauncherFile, MadeOnlyOfMarkersRunsAnEmptyScript) {
  TempDir dir;
  TempDir tmp;
  std::string markers;
  for (int i = 0; i < 1000; ++i) markers += kPayloadMarker;
  for (const std::string& content : {markers, launcherImage() + markers}) {
    writeFile(dir / "markers", content);
    writeFile(tmp / ".markers.tmp", "an earlier run's script");
    const RunResult r = startAs(dir / "markers", tmp);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(tmp / ".markers.tmp"), "");
  }
}

TEST(LauncherFile, WithTheLongestNamesStillRunsAndLongerOnesAreNoted) {
  TempDir dir;
  TempDir tmp;
  writeFile(dir / "s.rex", "say 'long name ran'\n");
  // ".NAME.tmp" must fit in a directory entry (255 bytes); its temporary sibling needs more.
  for (const std::size_t length : {240, 244, 245, 250, 251, 255}) {
    const std::string name(length, 'n');
    const std::string file = dir / name;
    const RunResult packed = run(kTool, {"pack", dir / "s.rex", "-o", file, "--stub", kLauncher});
    EXPECT_EQ(packed.status, 0) << length << ": " << packed.err;
    const RunResult inspected = run(kTool, {"inspect", file});
    EXPECT_EQ(inspected.status, 0) << length << ": " << inspected.err;
    const RunResult r = run(file, {}, inTempDir(tmp));
    if (length <= 250) {
      EXPECT_EQ(packed.err, "") << length;
      EXPECT_EQ(inspected.out.find("note: "), std::string::npos) << length;
      EXPECT_EQ(r.status, 0) << length << ": " << r.err;
      EXPECT_NE(r.out.find("long name ran\n"), std::string::npos) << length;
      EXPECT_TRUE(exists(tmp / ("." + name + ".tmp"))) << length;
    } else {
      // Written, with a warning, as such a file still runs when started by a shorter name.
      EXPECT_EQ(packed.err.rfind("tavmor: warning: pack: " + file + ": ", 0), 0u) << packed.err;
      EXPECT_EQ(lineCount(packed.err), 1) << packed.err;
      EXPECT_NE(inspected.out.find("\nnote: started by this name"), std::string::npos)
          << inspected.out;
      EXPECT_TRUE(refused(r, "ERROR: Cannot create temp file.\n")) << length << ": " << r.err;
    }
  }
}

}  // namespace
}  // namespace tavmor::test
