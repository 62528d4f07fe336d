// Memory that runs out: a launcher file or a decoded script too big for the memory a run may
// use, a file of several GiB that is mostly a hole, and the packer under the same caps.
#include "reliability/reliability.hpp"
#include "support/images.hpp"

namespace tavmor::test {
namespace {

const std::string kNotEnoughToRead = "ERROR: Not enough memory to read the Rexx script ";

// Pairs of 255 spaces: a payload of 2 MiB that decodes to 255 MiB of blank script.
std::string hugeScriptPayload() {
  std::string pairs;
  for (int i = 0; i < 1024 * 1024; ++i) pairs += "\xff ";
  return kPayloadMarker + pairs;
}

// A launcher that maps its file instead of reading it may run the script of the big file: the
// mapping takes address space but, in a sanitized build, no allocation.
TEST(MemoryLimit, ALauncherFileOrScriptTooBigForMemoryEndsInOneLine) {
  TempDir dir;
  TempDir tmp;
  const std::string image = launcherImage();
  const std::string bigFile = dir / "big";
  writeSparseFile(bigFile, image, 256 * kMiB, payloadOf("say 'big ran'\n"));
  const std::string hugeScript = dir / "huge";
  writeFile(hugeScript, image + hugeScriptPayload());
  // Memory that runs out once the script runs, in the launcher's own RexxUtil (Regina's, loaded
  // where Regina is not linked in, counts its way through the stem instead): the call fails as a
  // call of a function that failed does, and the script stops there with Regina's error; a C++
  // allocation, which a sanitizer's runtime ends the process for instead of failing it.
  const std::string sort = dir / "sort";
  writeFile(sort, image + payloadOf("call RxFuncAdd 'SysLoadFuncs', 'regutil', 'SysLoadFuncs'\n"
                                    "call SysLoadFuncs; say 'sorting'\n"
                                    "a.0 = 2000000000; call SysStemSort 'a.'; say 'sorted'\n"));

  std::vector<std::string> files = {bigFile, hugeScript};
  if (kSanitizers.empty() && TAVMOR_REGINA_STATIC) files.push_back(sort);
  for (const std::string& file : files) {
    RunOptions options = inTempDir(tmp);
    options.argv = std::vector<std::string>{file};
    const RunResult r = runCapped(kLauncher, {}, options, 128);
    EXPECT_EQ(r.signal, 0) << file;
    EXPECT_EQ(r.out.rfind(kBanner1, 0), 0u);
    if (file == bigFile) {
      EXPECT_TRUE(refused(r, "ERROR: Not enough memory to read " + bigFile + "\n") ||
                  ranWhole(r, "big ran"))
          << r.status << " " << r.err;
    } else if (file == sort) {
      EXPECT_NE(r.out.find("\nsorting\n"), std::string::npos) << r.out;
      EXPECT_EQ(r.out.find("sorted"), std::string::npos) << r.out;
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_NE(r.err.find("Error 40 running \"" + tmp / ".sort.tmp\", line 3"), std::string::npos)
          << r.err;
    } else {
      // Staged piece by piece, the script is too big for the interpreter to read.
      EXPECT_TRUE(refused(r, kNotEnoughToRead + tmp / ".huge.tmp\n")) << r.status << " " << r.err;
      EXPECT_FALSE(exists(tmp / ".huge.tmp"));
    }
  }
}

// Limits from where the launcher's image just fits to well past it: each run ends with one
// line, whatever allocation the limit happens to starve.
TEST(MemoryLimit, EveryLimitAroundTheLauncherImageEndsInOneLine) {
  if (!kSanitizers.empty()) GTEST_SKIP() << "address-space limits need a build without sanitizers";
  TempDir dir;
  TempDir tmp;
  const std::string hugeScript = dir / "huge";
  writeFile(hugeScript, launcherImage() + hugeScriptPayload());
  for (std::uint64_t limit = 8 * kMiB; limit <= 32 * kMiB; limit += kMiB / 4) {
    RunOptions options = inTempDir(tmp);
    options.argv = std::vector<std::string>{hugeScript};
    options.limits.push_back({RLIMIT_AS, limit});
    const RunResult r = run(kLauncher, {}, options);
    EXPECT_EQ(r.signal, 0) << limit;
    EXPECT_TRUE(refused(r, kNotEnoughToRead + tmp / ".huge.tmp\n") ||
                refused(r, "ERROR: Not enough memory to decode the Rexx code.\n") ||
                refused(r, "ERROR: Not enough memory to read " + hugeScript + "\n") ||
                refused(r, "ERROR: Not enough memory.\n"))
        << limit << ": " << r.status << " " << r.err;
  }
}

TEST(MemoryLimit, PackingAScriptTooBigForMemoryKeepsTheOldOutput) {
  if (!kSanitizers.empty()) GTEST_SKIP() << "address-space limits need a build without sanitizers";
  TempDir dir;
  std::string script(8 * kMiB, '\0');
  std::uint32_t state = 12345;
  for (char& c : script) c = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
  writeFile(dir / "s.rex", script);
  writeFile(dir / "out", "existing");
  for (std::uint64_t limit = 16 * kMiB; limit <= 96 * kMiB; limit += 8 * kMiB) {
    RunOptions options;
    options.limits.push_back({RLIMIT_AS, limit});
    const RunResult r =
        run(kTool, {"pack", dir / "s.rex", "-o", dir / "out", "--stub", kLauncher}, options);
    EXPECT_EQ(r.signal, 0) << limit;
    if (r.status == 0) continue;
    EXPECT_EQ(r.status, 1) << limit;
    EXPECT_EQ(r.err.rfind("tavmor: ", 0), 0u) << r.err;
    EXPECT_EQ(lineCount(r.err), 1) << r.err;
    EXPECT_EQ(readFile(dir / "out"), "existing") << limit;
    EXPECT_EQ(entriesIn(dir.path()), 2) << limit;
  }
}

// Resource trees that name one string of 65535 characters from every type and name: a file of
// a few hundred KiB describes tens of thousands of resources, each naming the string twice.
// Reading it takes memory bounded by the file, so inspect and verify answer under a small cap.
TEST(MemoryLimit, ResourceNamesSharedByManyEntriesAreReadOnce) {
  TempDir dir;
  for (const auto& [types, names] : {std::pair(12700u, 1u), std::pair(35000u, 2u)}) {
    const std::string file = dir / "shared.exe";
    writeFile(file, sharedNameResourceImage(types, names) + payloadOf("say 'shared'\n"));
    for (const std::string verb : {"inspect", "verify"}) {
      const RunResult r = runCapped(kTool, {verb, file}, {}, 128);
      EXPECT_EQ(r.signal, 0) << verb << " " << types;
      EXPECT_EQ(r.status, 0) << verb << " " << types << ": " << r.err;
    }
  }
}

// Six GiB, nearly all hole, under a cap of 1 GiB: every verb of the tool that reads the file
// ends in one line, and the launcher either does so too or, mapping the file, finds the script
// at its end; quickly either way, for nothing reads the hole.
TEST(SparseFile, SeveralGibibytesEndInOneLineUnderAMemoryCap) {
  TempDir dir;
  TempDir tmp;
  const std::string sparse = dir / "sparse";
  writeSparseFile(sparse, launcherImage(), 6 * 1024 * kMiB, payloadOf("say 'sparse ran'\n"));
  writeFile(dir / "s.rex", "say 'packed'\n");

  RunOptions launcherOptions = inTempDir(tmp);
  launcherOptions.argv = std::vector<std::string>{sparse};
  const RunResult r = runCapped(kLauncher, {}, launcherOptions, 1024);
  EXPECT_TRUE(refused(r, "ERROR: Not enough memory to read " + sparse + "\n") ||
              ranWhole(r, "sparse ran"))
      << r.status << " " << r.err;

  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"pack", sparse, "-o", dir / "out", "--stub", kLauncher},
           {"pack", dir / "s.rex", "-o", dir / "out", "--stub", sparse},
           {"inspect", sparse},
           {"extract", sparse, "-o", dir / "extracted"},
           {"verify", sparse}}) {
    const RunResult tool = runCapped(kTool, args, {}, 1024);
    EXPECT_EQ(tool.signal, 0) << args[0];
    EXPECT_NE(tool.status, 0) << args[0];
    EXPECT_EQ(tool.err.rfind("tavmor: ", 0), 0u) << tool.err;
    EXPECT_EQ(lineCount(tool.err), 1) << tool.err;
  }
  EXPECT_EQ(entriesIn(dir.path()), 2);
}

}  // namespace
}  // namespace tavmor::test
