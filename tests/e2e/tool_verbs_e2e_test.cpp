// extract, inspect and verify as a user meets them, on good files and hostile ones.
#include <algorithm>

#include "e2e/e2e.hpp"
#include "payload/format.hpp"
#include "sha256/sha256.hpp"

namespace tavmor::test {
namespace {

// Binary bytes, a NUL, CR LF and runs that would spell the marker: extract must give back
// every byte.
const std::string kScript = std::string("/* \x01\xff\0 */\r\n", 12) + "say 'verbs'\n/*" +
                            std::string(35, '#') + std::string(82, 'U') + std::string(82, '#') +
                            "*/\n";

std::string hexDigest(const std::string& bytes) {
  return toHex(sha256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

int lines(const std::string& text) {
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// Every line of err is "tavmor: VERB: FILE: cause".
void expectErrorsNaming(const std::string& err, const std::string& verb, const std::string& file) {
  EXPECT_GE(lines(err), 1);
  std::size_t start = 0;
  while (start < err.size()) {
    const std::size_t end = err.find('\n', start);
    const std::string line = err.substr(start, end - start);
    EXPECT_EQ(line.rfind("tavmor: " + verb + ": " + file + ": ", 0), 0u) << line;
    start = end == std::string::npos ? err.size() : end + 1;
  }
}

TEST(ToolVerbs, HelpAndUsageErrors) {
  for (const std::string verb : {"extract", "inspect", "verify"}) {
    const RunResult r = run(kTool, {verb, "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: tavmor " + verb + " FILE", 0), 0u) << r.out;
    EXPECT_NE(run(kTool, {"--help"}).out.find("  " + verb + " FILE"), std::string::npos);
  }
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"extract"},
                                             {"extract", "a", "b"},
                                             {"extract", "a", "-o"},
                                             {"extract", "a", "--json"},
                                             {"inspect"},
                                             {"inspect", "a", "b"},
                                             {"inspect", "--bogus", "a"},
                                             {"inspect", "--json=1", "a"},
                                             {"verify"},
                                             {"verify", "a", "b"},
                                             {"verify", "-o", "x", "a"}}) {
    const RunResult r = run(kTool, args);
    EXPECT_EQ(r.status, 2) << args[0] << " " << args.size();
    EXPECT_EQ(r.err.rfind("tavmor: " + args[0] + ": ", 0), 0u) << r.err;
    EXPECT_EQ(lines(r.err), 1) << r.err;
  }
}

TEST(ToolVerbs, ShowCheckAndGiveBackAPackedScript) {
  TempDir dir;
  const std::string file = packScript(dir, "app", kScript);

  RunResult r = run(kTool, {"extract", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kScript);
  r = run(kTool, {"extract", file, "-o", dir / "back.rex"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir / "back.rex"), kScript);

  r = run(kTool, {"inspect", file});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const std::string& expected :
       std::vector<std::string>{"format             ELF, 64-bit, little-endian, x86-64\n",
                                "\ntype               ", "(1 marker in the appended data)\n",
                                "script             " + std::to_string(kScript.size()) + " bytes\n",
                                "script SHA-256     " + hexDigest(kScript) + "\n",
                                "certificate table  none\n", "warnings           none\n"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }
  r = run(kTool, {"inspect", "--json", file});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const std::string& expected : std::vector<std::string>{
           "\"format\": \"ELF\"", "\"machine\": \"x86-64\"", "\"markerCount\": 1",
           "\"elfType\": \"", "\"scriptLength\": " + std::to_string(kScript.size()),
           "\"scriptSha256\": \"" + hexDigest(kScript) + "\"", "\"certificate\": null",
           "\"warnings\": []"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }

  r = run(kTool, {"verify", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(file + ": ok: ELF launcher file", 0), 0u) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST(ToolVerbs, AFullStandardOutputIsAFailureOfOneLine) {
  TempDir dir;
  const std::string file = packScript(dir, "app", kScript);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"},
           {"--version"},
           {"pack", "--help"},
           {"inspect", file},
           {"inspect", "--json", file},
           {"verify", file},
           {"extract", file},
           {"pack", dir / "app.rex", "-o", "-", "--stub", kLauncher}}) {
    std::vector<std::string> shell = {"-c", "exec \"$0\" \"$@\" > /dev/full", kTool};
    shell.insert(shell.end(), args.begin(), args.end());
    const RunResult r = run("/bin/sh", shell);
    EXPECT_EQ(r.status, 1) << args[0] << " " << args.back();
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("cannot write to standard output: No space left on device\n"),
              std::string::npos)
        << r.err;
  }
}

TEST(ToolVerbs, FilesThatCannotBeReadOrHoldNoScript) {
  TempDir dir;
  for (const std::string verb : {"extract", "inspect", "verify"}) {
    for (const std::string& path : {dir / "missing", dir.path()}) {
      const RunResult r = run(kTool, {verb, path});
      EXPECT_EQ(r.status, 1) << verb << " " << path;
      expectErrorsNaming(r.err, verb, path);
      EXPECT_EQ(lines(r.err), 1);
    }
    // Control characters in a name are shown escaped, so that the error stays one line.
    const RunResult r = run(kTool, {verb, dir / "new\nline\t"});
    EXPECT_EQ(r.status, 1);
    expectErrorsNaming(r.err, verb, dir / "new\\nline\\t");
    EXPECT_EQ(lines(r.err), 1) << r.err;
  }
  // The bare launcher holds the marker among its constants, but nothing appended.
  RunResult r = run(kTool, {"extract", kLauncher});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tavmor: extract: " + kLauncher +
                       ": no script: no marker in the data appended after the executable image\n");
  r = run(kTool, {"verify", kLauncher});
  EXPECT_EQ(r.status, 1);
  expectErrorsNaming(r.err, "verify", kLauncher);
  r = run(kTool, {"inspect", kLauncher});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("marker at          none\n"), std::string::npos) << r.out;

  const std::string file = packScript(dir, "app", kScript);
  r = run(kTool, {"extract", file, "-o", dir / "nodir/out.rex"});
  EXPECT_EQ(r.status, 1);
  expectErrorsNaming(r.err, "extract", dir / "nodir/out.rex");
}

// Every verb on a hostile file: a status of 0 or 1, errors as lines naming the file, no signal.
// In the sanitizer build the tool is instrumented, so an out-of-range read ends it with a signal
// or a sanitizer report.
void expectCalmVerdicts(const std::string& file, const std::string& what) {
  for (const std::string verb : {"extract", "inspect", "verify"}) {
    const RunResult r = run(kTool, {verb, file});
    EXPECT_EQ(r.signal, 0) << verb << " " << what;
    EXPECT_TRUE(r.status == 0 || r.status == 1) << verb << " " << what << ": " << r.status;
    if (r.status != 0) expectErrorsNaming(r.err, verb, file);
    if (verb == "inspect") {
      EXPECT_EQ(r.err, "") << what;
    }
  }
}

TEST(ToolVerbs, HostileFilesGetAClearVerdict) {
  TempDir dir;
  const std::string packed = packScript(dir, "app", "say 'cut me'\n");
  const std::string good = *readFile(packed);
  const std::size_t marker = good.rfind(kPayloadMarker);
  const std::string file = dir / "hostile";

  // Cut at every length of the marker and the payload.
  for (std::size_t length = marker; length < good.size(); ++length) {
    writeFile(file, good.substr(0, length));
    expectCalmVerdicts(file, "cut at " + std::to_string(length));
    const bool whole =
        length >= marker + kPayloadMarkerSize && (length - marker - kPayloadMarkerSize) % 2 == 0;
    EXPECT_EQ(run(kTool, {"verify", file}).status, whole ? 0 : 1) << length;
  }
  // Flipped bytes in the marker, the payload and the ELF header's sizes and offsets.
  std::vector<std::size_t> offsets;
  for (std::size_t i = marker; i < good.size(); ++i) offsets.push_back(i);
  for (std::size_t i : {0x20, 0x21, 0x27, 0x28, 0x2f, 0x36, 0x38, 0x3a, 0x3c}) offsets.push_back(i);
  for (const std::size_t offset : offsets) {
    for (const unsigned char mask : {0x01, 0x80, 0xff}) {
      std::string flipped = good;
      flipped[offset] = static_cast<char>(flipped[offset] ^ mask);
      writeFile(file, flipped);
      expectCalmVerdicts(file, "flip " + std::to_string(mask) + " at " + std::to_string(offset));
    }
  }
}

}  // namespace
}  // namespace tavmor::test
