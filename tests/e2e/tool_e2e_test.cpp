// The companion tool as a user meets it.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "e2e/e2e.hpp"
#include "support/images.hpp"

namespace tavmor::test {
namespace {

int entriesIn(const std::string& dir) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

TEST(ToolCli, HelpVersionAndUsageErrors) {
  RunResult r = run(kTool, {"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("pack"), std::string::npos);
  r = run(kTool, {"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("tavmor ", 0), 0u);
  r = run(kTool, {"pack", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage: tavmor pack"), std::string::npos);

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"frobnicate"},
                                             {"pack"},
                                             {"pack", "a.rex"},
                                             {"pack", "a.rex", "-o"},
                                             {"pack", "a.rex", "b.rex", "-o", "x"},
                                             {"pack", "--bogus"},
                                             {"targets", "extra"}}) {
    r = run(kTool, args);
    EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args.back());
    EXPECT_NE(r.err.find("tavmor"), std::string::npos);
  }
}

TEST(ToolPack, MakesAnExecutableReproducibleLauncherFile) {
  TempDir dir;
  const std::string script = "say 'packed'\n";
  const std::string a = packScript(dir, "a", script);
  const std::string b = packScript(dir, "b", script);
  EXPECT_EQ(readFile(a), readFile(b));
  struct stat st {};
  ASSERT_EQ(::stat(a.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0100, 0u);

  // The mode follows the umask, even one that leaves no permission at all (0777): the written
  // file is checked before its mode is set.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  RunOptions masked;
  masked.unprivileged = true;
  TempDir programs;
  ASSERT_EQ(::chmod(programs.path().c_str(), 0755), 0);
  const RunResult r0 =
      run("/bin/sh",
          {"-c", "umask 777 && exec \"$0\" \"$@\"", reachableCopy(kTool, programs), "pack",
           dir / "a.rex", "-o", dir / "masked", "--stub", reachableCopy(kLauncher, programs)},
          masked);
  EXPECT_EQ(r0.status, 0) << r0.err;
  ASSERT_EQ(::stat((dir / "masked").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0u);
  ASSERT_EQ(::chmod((dir / "masked").c_str(), 0700), 0);
  EXPECT_EQ(readFile(dir / "masked"), readFile(a));

  // Repacking a launcher file replaces its payload instead of stacking another.
  writeFile(dir / "c.rex", "say 'repacked'\n");
  RunResult r = run(kTool, {"pack", dir / "c.rex", "-o", dir / "c", "--stub", a});
  ASSERT_EQ(r.status, 0) << r.err;
  writeFile(dir / "d.rex", "say 'repacked'\n");
  r = run(kTool, {"pack", dir / "d.rex", "-o", dir / "d", "--stub", kLauncher});
  EXPECT_EQ(readFile(dir / "c"), readFile(dir / "d"));
}

TEST(ToolPack, ReadsTheScriptFromStandardInputAndWritesToStandardOutput) {
  TempDir dir;
  RunOptions options;
  options.stdinData = "say 'from stdin'\n";
  const RunResult packed = run(kTool, {"pack", "-", "-o", dir / "s", "--stub", kLauncher}, options);
  ASSERT_EQ(packed.status, 0) << packed.err;
  RunOptions env;
  env.env["TMPDIR"] = dir.path();
  const RunResult r = run(dir / "s", {}, env);
  EXPECT_NE(r.out.find("from stdin\n"), std::string::npos) << r.out << r.err;

  options.cwd = dir.path();
  const RunResult piped = run(kTool, {"pack", "-", "-o", "-", "--stub", kLauncher}, options);
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_TRUE(piped.out == readFile(dir / "s")) << "not the packed file";
  EXPECT_FALSE(exists(dir / "-"));
}

TEST(ToolOutput, DevicesPipesAndLinksToThemAreWrittenNotReplaced) {
  TempDir dir;
  const std::string script = "say 'out'\n";
  const std::string file = packScript(dir, "app", script);
  struct stat st {};
  // As root, nodes of the tool's own in the test's folder: a device the tool replaced would be
  // lost. Others cannot replace /dev's, so they write to those.
  std::string null = "/dev/null";
  std::string full = "/dev/full";
  if (::geteuid() == 0) {
    null = dir / "null";
    full = dir / "full";
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    ASSERT_EQ(::mknod(null.c_str(), S_IFCHR | 0666, st.st_rdev), 0);
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, st.st_rdev), 0);
  }
  RunResult r = run(kTool, {"pack", dir / "app.rex", "-o", null, "--stub", kLauncher});
  EXPECT_EQ(r.status, 0) << r.err;
  r = run(kTool, {"extract", file, "-o", full});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tavmor: extract: " + full + ": cannot write: No space left on device\n");
  for (const std::string& device : {null, full}) {
    ASSERT_EQ(::lstat(device.c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << device << " was replaced";
  }

  // A link to standard output (as /dev/stdout is) writes there.
  ASSERT_EQ(::symlink("/proc/self/fd/1", (dir / "stdout").c_str()), 0);
  r = run(kTool, {"extract", file, "-o", dir / "stdout"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, script);
  // Also when standard output is a file.
  r = run("/bin/sh", {"-c", "\"$0\" extract \"$1\" -o \"$2\" > \"$3\"", kTool, file, dir / "stdout",
                      dir / "redirected"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir / "redirected"), script);
  // A link to standard error, by way of /dev/stderr and a relative link, writes where 2> sent
  // it. A link to a closed descriptor is refused in one line: nothing may be written in its
  // place (as root, replacing /dev/stdout broke the machine's).
  ASSERT_EQ(::symlink("/dev/stderr", (dir / "stderr").c_str()), 0);
  const std::string relative =
      "../" + std::filesystem::path(dir.path()).filename().string() + "/stderr";
  ASSERT_EQ(::symlink(relative.c_str(), (dir / "relative").c_str()), 0);
  r = run("/bin/sh", {"-c", "\"$0\" pack \"$1\" -o \"$2\" --stub \"$3\" 2> \"$4\"", kTool,
                      dir / "app.rex", dir / "relative", kLauncher, dir / "log"});
  EXPECT_EQ(r.status, 0) << readFile(dir / "log").value_or("");
  EXPECT_EQ(readFile(dir / "log"), readFile(file));
  r = run("/bin/sh", {"-c", "\"$0\" extract \"$1\" -o \"$2\" >&-", kTool, file, dir / "stdout"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "tavmor: extract: " + dir / "stdout" +
                       ": leads to file descriptor 1, which is not open; nothing was written\n");
  // A link to a folder is refused, as the folder itself is.
  ASSERT_EQ(::mkdir((dir / "folder").c_str(), 0700), 0);
  ASSERT_EQ(::symlink("folder", (dir / "to-folder").c_str()), 0);
  for (const std::string& out : {dir / "folder", dir / "to-folder"}) {
    r = run(kTool, {"extract", file, "-o", out});
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_EQ(r.err.rfind("tavmor: extract: " + out + ": is a ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(entriesIn(dir / "folder"), 0);
  for (const char* link : {"stdout", "stderr", "relative", "to-folder"}) {
    ASSERT_EQ(::lstat((dir / link).c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << link << " was replaced";
  }

  // A FIFO is written, for whoever reads it.
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  r = run("/bin/sh",
          {"-c", "timeout 20 cat \"$1\" > \"$2\" & \"$0\" extract \"$3\" -o \"$1\"; wait", kTool,
           dir / "fifo", dir / "from-fifo", file});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir / "from-fifo"), script);
  ASSERT_EQ(::lstat((dir / "fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";

  // A link to a regular file is replaced, as a file is; the file it points to stays as it was.
  writeFile(dir / "target", "kept");
  ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "link").c_str()), 0);
  r = run(kTool, {"extract", file, "-o", dir / "link"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir / "link"), script);
  EXPECT_EQ(readFile(dir / "target"), "kept");
  ASSERT_EQ(::lstat((dir / "link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST(ToolPack, AScriptWhoseRunsSpellTheMarkerStillRuns) {
  TempDir dir;
  // Comment text of 35 '#', 82 'U', 82 '#' and 35 'x' would naively encode to the marker.
  const std::string script = "/*" + std::string(35, '#') + std::string(82, 'U') +
                             std::string(82, '#') + std::string(35, 'x') + "*/\nsay 'intact'\n";
  const std::string file = packScript(dir, "m", script);
  RunOptions env;
  env.env["TMPDIR"] = dir.path();
  const RunResult r = run(file, {}, env);
  EXPECT_NE(r.out.find("intact\n"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(readFile(dir / ".m.tmp"), script);
}

TEST(ToolPack, FailuresLeaveTheOutputAndFolderUntouched) {
  TempDir dir;
  writeFile(dir / "s.rex", "say 1\n");
  writeFile(dir / "out", "existing");
  writeFile(dir / "notexe", "just text");
  const int before = entriesIn(dir.path());
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"pack", dir / "missing.rex", "-o", dir / "out", "--stub", kLauncher},
           {"pack", dir / "s.rex", "-o", dir / "out", "--stub", dir / "notexe"},
           {"pack", dir / "s.rex", "-o", dir / "out", "--stub", dir / "missing"},
           {"pack", dir.path(), "-o", dir / "out", "--stub", kLauncher},
           {"pack", dir / "s.rex", "-o", dir / "nodir/out", "--stub", kLauncher},
           {"pack", dir / "s.rex", "-o", dir / "./s.rex", "--stub", kLauncher}}) {
    const RunResult r = run(kTool, args);
    EXPECT_EQ(r.status, 1) << args[1] << " " << args[5];
    EXPECT_EQ(r.err.rfind("tavmor: pack: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(readFile(dir / "out"), "existing");
  EXPECT_EQ(readFile(dir / "s.rex"), "say 1\n");
  EXPECT_EQ(entriesIn(dir.path()), before);
}

TEST(ToolPack, WindowsOptionsWhereTheyCannotApplyAreUsageErrorsThatWriteNothing) {
  TempDir dir;
  writeFile(dir / "s.rex", "say 1\n");
  writeFile(dir / "out", "existing");
  writeFile(dir / "text.ico", "not an icon");
  // One image more than Windows tools read.
  writeFile(dir / "many.ico", iconFile(std::vector<std::string>(4097, bitmapIconImage(1, 1, 1))));
  const std::string nineThousand(9000, 'x');
  const int before = entriesIn(dir.path());
  const std::vector<std::string> pack = {"pack", dir / "s.rex", "-o", dir / "out"};
  for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
           {"--windows-title", "Hello"},  // the tool's own target: Linux
           {"--target", "linux-x86_64", "--windows-version", "1.2.3.4"},
           {"--stub", kLauncher, "--windows-publisher", "Example Ltd"},
           {"--target", "windows-x86_64", "--windows-version", "1.2.3"},
           {"--target", "windows-x86_64", "--windows-version", "1.2.3.65536"},
           {"--target", "windows-x86_64", "--windows-description", "\xff\xfe"},
           {"--target", "windows-x86_64", "--windows-icon", dir / "text.ico"},
           {"--target", "windows-x86_64", "--windows-icon", dir / "many.ico"},
           // Longer than a version resource's 16-bit lengths hold.
           {"--target", "windows-x86_64", "--windows-title", std::string(32760, 'x')},
           {"--target", "windows-x86_64", "--windows-title", nineThousand, "--windows-publisher",
            nineThousand, "--windows-copyright", nineThousand, "--windows-description",
            nineThousand}}) {
    std::vector<std::string> args = pack;
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = run(kTool, args);
    EXPECT_EQ(r.status, 2) << options.back().substr(0, 80) << ": " << r.err;
    EXPECT_EQ(r.err.rfind("tavmor: pack: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(readFile(dir / "out"), "existing");
  EXPECT_EQ(entriesIn(dir.path()), before);
}

// A copy of the tool installed under `prefix` (whose name has a space), with the Linux stub.
struct Install {
  explicit Install(const TempDir& dir) : prefix(dir / "my tools"), tool(prefix + "/bin/tavmor") {
    std::filesystem::create_directories(prefix + "/bin");
    std::filesystem::create_directories(prefix + "/lib/tavmor/linux-x86_64");
    std::filesystem::copy_file(kTool, tool);
    std::filesystem::copy_file(kLauncher, linuxStub);
  }
  const std::string prefix;
  const std::string tool;
  const std::string linuxStub = prefix + "/lib/tavmor/linux-x86_64/tavmor-launcher";
  const std::string windowsStub = prefix + "/lib/tavmor/windows-x86_64/tavmor-launcher.exe";
};

TEST(ToolTargets, FindsEachStubFromTheToolsOwnPlace) {
  TempDir dir;
  const Install install(dir);
  RunResult r = run(install.tool, {"targets"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "linux-x86_64    " + install.linuxStub +
                "\nlinux-aarch64   missing\nlinux-s390x     missing\nwindows-x86_64  missing\n");

  // Packing for the tool's own target is the default, and takes the installed stub.
  writeFile(dir / "s.rex", "say 'target'\n");
  r = run(install.tool, {"pack", dir / "s.rex", "-o", dir / "default"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run(install.tool, {"pack", dir / "s.rex", "-o", dir / "linux", "--target", "linux-x86_64"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = run(kTool, {"pack", dir / "s.rex", "-o", dir / "stub", "--stub", kLauncher});
  EXPECT_EQ(readFile(dir / "default"), readFile(dir / "stub"));
  EXPECT_EQ(readFile(dir / "linux"), readFile(dir / "stub"));

  // A missing stub is a failure, an unknown target or --target with --stub a usage error:
  // each one line, and nothing written.
  const int before = entriesIn(dir.path());
  for (const auto& [args, status] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"--target", "windows-x86_64"}, 1},
           {{"--target", "linux-s390x"}, 1},
           {{"--target", "windows"}, 2},
           {{"--target", "linux-x86_64", "--stub", kLauncher}, 2}}) {
    std::vector<std::string> pack = {"pack", dir / "s.rex", "-o", dir / "out"};
    pack.insert(pack.end(), args.begin(), args.end());
    r = run(install.tool, pack);
    EXPECT_EQ(r.status, status) << args[1];
    EXPECT_EQ(r.err.rfind("tavmor: pack: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(entriesIn(dir.path()), before);

  std::filesystem::create_directories(install.prefix + "/lib/tavmor/windows-x86_64");
  writeFile(install.windowsStub, peImage());
  r = run(install.tool, {"pack", dir / "s.rex", "-o", dir / "s.exe", "--target", "windows-x86_64"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir / "s.exe")->substr(0, 0x400), peImage());

  // Where the stub's folder is missing, as in a build tree, the stub beside the tool counts: for
  // its own machine's target only, which is no other Linux machine's.
  std::filesystem::rename(install.linuxStub, install.prefix + "/bin/tavmor-launcher");
  r = run(install.tool, {"targets"});
  EXPECT_EQ(r.out, "linux-x86_64    " + install.prefix +
                       "/bin/tavmor-launcher\nlinux-aarch64   missing\nlinux-s390x     missing\n"
                       "windows-x86_64  " +
                       install.windowsStub + "\n");
}

TEST(ToolTargets, NeverTakesAStubSomeoneElseCouldHaveWritten) {
  TempDir dir;
  writeFile(dir / "s.rex", "say 'mine'\n");
  ASSERT_EQ(run(kTool, {"pack", dir / "s.rex", "-o", dir / "genuine", "--stub", kLauncher}).status,
            0);
  // A copy of the tool in a folder that is not bin, its stub beside it, under a folder where
  // anybody could have planted lib/tavmor/TARGET/ (as in the temp directory).
  const std::string planted = dir / "lib/tavmor/linux-x86_64/tavmor-launcher";
  std::filesystem::create_directories(dir / "copy");
  std::filesystem::create_directories(dir / "lib/tavmor/linux-x86_64");
  std::filesystem::copy_file(kTool, dir / "copy/tavmor");
  std::filesystem::copy_file(kLauncher, dir / "copy/tavmor-launcher");
  writeFile(planted, *readFile(kLauncher) + "planted");
  RunResult r = run(dir / "copy/tavmor", {"targets"});
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "linux-x86_64    " + dir / "copy/tavmor-launcher");
  r = run(dir / "copy/tavmor", {"pack", dir / "s.rex", "-o", dir / "out"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir / "out"), readFile(dir / "genuine"));

  // In an installation, a stub in a folder that every user may write, or (as root) one that
  // another user owns, is refused: by targets, and by pack in one line that names it. So is one
  // reached through a link that lies in such a folder, whoever may write where the link leads:
  // another user could point the link elsewhere.
  const Install install(dir);
  const std::string folder = install.prefix + "/lib/tavmor";
  const std::string open = install.prefix + "/open";
  const auto relink = [&](const char* at, const char* to) {
    std::filesystem::remove(install.prefix + at);
    ASSERT_EQ(::symlink(to, (install.prefix + at).c_str()), 0);
  };
  struct Case {
    std::function<void()> make;
    std::string why;
  };
  std::vector<Case> cases = {{[&] { ::chmod(folder.c_str(), 0777); },
                              "its folder " + folder + " may be written by every user (mode 0777)"},
                             {[&] {
                                std::filesystem::create_directories(install.prefix + "/real");
                                std::filesystem::rename(folder + "/linux-x86_64",
                                                        install.prefix + "/real/linux-x86_64");
                                relink("/lib/tavmor/linux-x86_64", "../../real/linux-x86_64");
                                ::chmod(folder.c_str(), 0777);
                              },
                              "its folder " + folder + " may be written by every user (mode 0777)"},
                             {[&] {
                                std::filesystem::create_directories(open);
                                relink("/open/linux", "../real/linux-x86_64");
                                relink("/lib/tavmor/linux-x86_64", "../../open/linux");
                                ::chmod(open.c_str(), 0777);
                              },
                              "its folder " + open + " may be written by every user (mode 0777)"}};
  if (::geteuid() == 0) {
    cases.push_back({[&] { ASSERT_EQ(::chown(install.linuxStub.c_str(), 65534, 65534), 0); },
                     "it is owned by user "});
  }
  for (const Case& c : cases) {
    c.make();
    r = run(install.tool, {"targets"});
    EXPECT_EQ(r.out.rfind("linux-x86_64    refused: " + install.linuxStub + ": " + c.why, 0), 0u)
        << r.out;
    r = run(install.tool, {"pack", dir / "s.rex", "-o", dir / "refused"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("tavmor: pack: refusing the stub " + install.linuxStub + ": " + c.why, 0),
              0u)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(exists(dir / "refused"));
    ::chmod(folder.c_str(), 0755);
    ::chmod(open.c_str(), 0755);
  }
  // With every folder on the way the owner's alone again, the stub is taken through the links.
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(install.linuxStub.c_str(), 0, 0), 0);
  }
  r = run(install.tool, {"pack", dir / "s.rex", "-o", dir / "linked"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(readFile(dir / "linked"), readFile(dir / "genuine"));

  // Without /proc (where a mount namespace can be had to take it away) the tool finds itself by
  // the path it was started by, and its stub as ever. A sanitizer's runtime needs /proc.
  if (std::string(TAVMOR_SANITIZERS).empty()) {
    r = run("/usr/bin/unshare",
            {"-m", "sh", "-c", "mount -t tmpfs none /proc && exec \"$0\" pack \"$1\" -o \"$2\"",
             kTool, dir / "s.rex", dir / "noproc"});
    if (r.err.find("unshare") == std::string::npos && r.err.find("mount") == std::string::npos) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_EQ(readFile(dir / "noproc"), readFile(dir / "genuine"));
    }
  }
}

TEST(ToolExtract, RefusesToWriteOverTheLauncherFileItReads) {
  TempDir dir;
  const std::string file = packScript(dir, "app", "say 'kept'\n");
  const auto before = readFile(file);
  const RunResult r = run(kTool, {"extract", file, "-o", dir / "./app"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("tavmor: extract: ", 0), 0u) << r.err;
  EXPECT_EQ(readFile(file), before);
}

}  // namespace
}  // namespace tavmor::test
