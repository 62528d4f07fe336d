// Windows launcher files signed the way a publisher signs them (osslsigncode, a throwaway
// certificate made for each test), then inspected, verified and extracted with tavmor.
#include <filesystem>
#include <nlohmann/json.hpp>

#include "e2e/e2e.hpp"
#include "payload/format.hpp"
#include "support/images.hpp"
#include "util/coding.hpp"

namespace tavmor::test {
namespace {

const std::string kOpenssl = TAVMOR_OPENSSL;
const std::string kOsslsigncode = TAVMOR_OSSLSIGNCODE;

constexpr char kScript[] = "/* signed */\nsay 'signed and intact'\n";

// The Windows executables to pack: the fixture, and the cross-built launcher when there is one.
std::vector<std::string> windowsStubs() {
  std::vector<std::string> stubs = {TAVMOR_PE_STUB};
  const std::string launcher = TAVMOR_WINDOWS_LAUNCHER;
  if (!launcher.empty() && std::filesystem::exists(launcher)) stubs.push_back(launcher);
  return stubs;
}

// A throwaway certificate and key in dir: cert.pem, key.pem.
void makeCertificate(const TempDir& dir) {
  const RunResult r =
      run(kOpenssl, {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", dir / "key.pem",
                     "-out", dir / "cert.pem", "-days", "2", "-subj", "/CN=Tavmor Test Signer"});
  ASSERT_EQ(r.status, 0) << r.err;
}

RunResult sign(const TempDir& dir, const std::string& in, const std::string& out) {
  return run(kOsslsigncode, {"sign", "-certs", dir / "cert.pem", "-key", dir / "key.pem", "-n",
                             "Tavmor test", "-in", in, "-out", out});
}

RunResult checkSignature(const TempDir& dir, const std::string& file) {
  return run(kOsslsigncode, {"verify", "-CAfile", dir / "cert.pem", file});
}

// Where the PE header of the image in file starts (e_lfanew).
std::size_t peHeaderOffset(const std::string& file) {
  return decodeFixed32(reinterpret_cast<const unsigned char*>(file.data()) + 0x3c);
}

// Packs kScript into dir/out with stub, and the options `extra`.
std::string pack(const TempDir& dir, const std::string& stub, const std::string& out,
                 RunResult* result = nullptr, const std::vector<std::string>& extra = {}) {
  writeFile(dir / "script.rex", kScript);
  std::vector<std::string> args = {"pack", dir / "script.rex", "-o", dir / out, "--stub", stub};
  args.insert(args.end(), extra.begin(), extra.end());
  const RunResult r = run(kTool, args);
  EXPECT_EQ(r.status, 0) << r.err;
  if (result) *result = r;
  return dir / out;
}

// An icon of three images (bitmaps of 16 and 32 pixels, a PNG-compressed one of 256) in
// dir/app.ico, and the options that give a launcher file it and its version information.
const std::vector<std::string> kIconImages = {
    test::bitmapIconImage(16, 16, 32), test::bitmapIconImage(32, 32, 8), test::pngImage(256, 256)};
std::vector<std::string> resourceOptions(const TempDir& dir) {
  writeFile(dir / "app.ico", test::iconFile(kIconImages));
  return {"--windows-icon",      dir / "app.ico", "--windows-version",     "1.2.3.4",
          "--windows-title",     "Hello",         "--windows-description", "Says hello",
          "--windows-publisher", "Example Ltd",   "--windows-copyright",   "(c) 2026 Example Ltd"};
}

class SigningTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { makeCertificate(dir_); }
  RunResult sign(const std::string& in, const std::string& out) {
    return test::sign(dir_, in, out);
  }
  RunResult checkSignature(const std::string& file) { return test::checkSignature(dir_, file); }
  std::string pack(const std::string& stub, const std::string& out, RunResult* result = nullptr,
                   const std::vector<std::string>& extra = {}) {
    return test::pack(dir_, stub, out, result, extra);
  }

  TempDir dir_;
};

TEST_P(SigningTest, ASignedLauncherFileKeepsItsScript) {
  const std::string packed = pack(GetParam(), "packed.exe");
  const std::string signedFile = dir_ / "signed.exe";
  RunResult r = sign(packed, signedFile);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  r = checkSignature(signedFile);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_GT(std::filesystem::file_size(signedFile), std::filesystem::file_size(packed));

  r = run(kTool, {"inspect", signedFile});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* expected :
       {"format             PE32+, 64-bit, x86-64\n", "PKCS #7 (Authenticode)",
        "the payload stops before it", "warnings           none\n"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }
  r = run(kTool, {"inspect", "--json", signedFile});
  EXPECT_NE(r.out.find("\"setApart\": true"), std::string::npos) << r.out;
  r = run(kTool, {"verify", signedFile});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(", signed (certificate table of "), std::string::npos) << r.out;
  r = run(kTool, {"extract", signedFile});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kScript);

  // The signature covers the payload: a changed script byte breaks it.
  std::string tampered = *readFile(signedFile);
  tampered[tampered.rfind(kPayloadMarker) + kPayloadMarkerSize + 1] ^= 0x01;
  writeFile(dir_ / "tampered.exe", tampered);
  EXPECT_NE(checkSignature(dir_ / "tampered.exe").status, 0);
}

TEST_P(SigningTest, PackingASignedStubDropsItsSignature) {
  const std::string signedStub = dir_ / "signed-stub.exe";
  ASSERT_EQ(sign(GetParam(), signedStub).status, 0);
  RunResult packResult;
  const std::string packed = pack(signedStub, "from-signed.exe", &packResult);
  EXPECT_EQ(packResult.err,
            "tavmor: note: the stub's signature was removed; sign " + packed + " again\n");

  // The same file as one packed from the unsigned stub, but for the PE checksum that signing
  // updated.
  std::string fromSigned = *readFile(packed);
  std::string fromUnsigned = *readFile(pack(GetParam(), "from-unsigned.exe"));
  ASSERT_EQ(fromSigned.size(), fromUnsigned.size());
  const std::size_t checksum = peHeaderOffset(fromSigned) + 24 + 64;
  fromSigned.replace(checksum, 4, 4, '\0');
  fromUnsigned.replace(checksum, 4, 4, '\0');
  EXPECT_TRUE(fromSigned == fromUnsigned);

  RunResult r = run(kTool, {"inspect", packed});
  EXPECT_NE(r.out.find("certificate table  none\n"), std::string::npos) << r.out;
  EXPECT_NE(checkSignature(packed).status, 0);
  // Signed again, it verifies and still gives the script.
  ASSERT_EQ(sign(packed, dir_ / "resigned.exe").status, 0);
  EXPECT_EQ(checkSignature(dir_ / "resigned.exe").status, 0);
  EXPECT_EQ(run(kTool, {"verify", dir_ / "resigned.exe"}).status, 0);
  EXPECT_EQ(run(kTool, {"extract", dir_ / "resigned.exe"}).out, kScript);
}

TEST_P(SigningTest, ACertificateEntryPointingOutsideTheFileIsReported) {
  std::string file = *readFile(pack(GetParam(), "packed.exe"));
  // The security entry of a PE32+ image: optional header + 112 + 4 * 8.
  const std::size_t entry = peHeaderOffset(file) + 24 + 112 + 32;
  file.replace(entry, 8, "\xf0\xff\xff\x7f\x00\x01\x00\x00", 8);
  writeFile(dir_ / "lying.exe", file);
  RunResult r = run(kTool, {"verify", dir_ / "lying.exe"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("lies outside the file"), std::string::npos) << r.err;
  r = run(kTool, {"extract", dir_ / "lying.exe"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kScript);
}

TEST_P(SigningTest, IconAndVersionInformationSurviveRepackingAndSigning) {
  const std::vector<std::string> options = resourceOptions(dir_);
  const std::string packed = pack(GetParam(), "hello.exe", nullptr, options);
  RunResult r = run(kTool, {"inspect", packed});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string scriptLine = r.out.substr(r.out.find("script SHA-256"), 80);
  for (const char* expected :
       {"icon               3 images: 16x16 32-bit, 32x32 8-bit, 256x256 32-bit PNG\n",
        "file version       1.2.3.4\n", "product version    1.2.3.4\n",
        "CompanyName        Example Ltd\n", "FileDescription    Says hello\n",
        "FileVersion        1.2.3.4\n", "LegalCopyright     (c) 2026 Example Ltd\n",
        "OriginalFilename   hello.exe\n", "ProductName        Hello\n",
        "ProductVersion     1.2.3.4\n", "warnings           none\n"}) {
    EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\n" << r.out;
  }
  const auto json = nlohmann::json::parse(run(kTool, {"inspect", "--json", packed}).out);
  EXPECT_EQ(json["icon"]["images"].size(), 3u);
  EXPECT_EQ(json["icon"]["images"][2]["png"], true);
  EXPECT_EQ(json["versionInfo"]["fileVersion"], "1.2.3.4");
  EXPECT_EQ(json["versionInfo"]["strings"]["OriginalFilename"], "hello.exe");
  EXPECT_EQ(run(kTool, {"verify", packed}).status, 0);

  // The same inputs give the same bytes, and repacking the file replaces what it was given.
  const std::string first = *readFile(packed);
  pack(GetParam(), "hello.exe", nullptr, options);
  EXPECT_TRUE(*readFile(packed) == first);
  pack(packed, "hello.exe", nullptr, options);
  EXPECT_TRUE(*readFile(packed) == first);

  ASSERT_EQ(sign(packed, dir_ / "signed.exe").status, 0);
  EXPECT_EQ(checkSignature(dir_ / "signed.exe").status, 0);
  r = run(kTool, {"inspect", dir_ / "signed.exe"});
  EXPECT_NE(r.out.find(scriptLine), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("icon               3 images"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("warnings           none\n"), std::string::npos) << r.out;
  EXPECT_EQ(run(kTool, {"extract", dir_ / "signed.exe"}).out, kScript);
}

// Readers that are not ours: Debian's pefile and icoutils' wrestool.
TEST_P(SigningTest, OtherReadersSeeTheIconAndVersionInformation) {
  const std::string python = TAVMOR_PYTHON3;
  const std::string wrestool = TAVMOR_WRESTOOL;
  if (python.empty() || wrestool.empty() || run(python, {"-c", "import pefile"}).status != 0) {
    GTEST_SKIP() << "needs python3-pefile and wrestool (icoutils)";
  }
  const std::string packed = pack(GetParam(), "hello.exe", nullptr, resourceOptions(dir_));
  writeFile(dir_ / "read.py", R"(import json, sys, pefile
pe = pefile.PE(sys.argv[1])
strings = {}
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        for table in info.StringTable:
            strings[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
fixed = pe.VS_FIXEDFILEINFO[0]
align = pe.OPTIONAL_HEADER.SectionAlignment
end = max(s.VirtualAddress + s.Misc_VirtualSize for s in pe.sections)
print(json.dumps({
    "warnings": pe.get_warnings(),
    "checksum": pe.OPTIONAL_HEADER.CheckSum == pe.generate_checksum(),
    "sizeOfImage": pe.OPTIONAL_HEADER.SizeOfImage == (end + align - 1) // align * align,
    "versions": [fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
                 fixed.ProductVersionLS],
    "strings": strings,
    "types": [e.id for e in pe.DIRECTORY_ENTRY_RESOURCE.entries]}))
)");
  RunResult r = run(python, {dir_ / "read.py", packed});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto read = nlohmann::json::parse(r.out);
  EXPECT_EQ(read["warnings"].size(), 0u) << r.out;
  EXPECT_EQ(read["checksum"], true);
  EXPECT_EQ(read["sizeOfImage"], true);
  EXPECT_EQ(read["versions"], nlohmann::json({0x10002, 0x30004, 0x10002, 0x30004}));
  EXPECT_EQ(read["strings"], nlohmann::json::parse(R"({"040904B0": {
      "CompanyName": "Example Ltd", "FileDescription": "Says hello", "FileVersion": "1.2.3.4",
      "LegalCopyright": "(c) 2026 Example Ltd", "OriginalFilename": "hello.exe",
      "ProductName": "Hello", "ProductVersion": "1.2.3.4"}})"));
  // The stub's own resources stay: the launcher's manifest (type 24).
  const bool hasManifest = GetParam() != TAVMOR_PE_STUB;
  EXPECT_EQ(read["types"],
            hasManifest ? nlohmann::json({3, 14, 16, 24}) : nlohmann::json({3, 14, 16}));

  for (std::size_t i = 0; i < kIconImages.size(); ++i) {
    r = run(wrestool, {"-x", "--raw", "--type=3", "--name=" + std::to_string(i + 1), packed});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == kIconImages[i]) << "image " << i + 1;
  }
  // The icon as Explorer builds it from the group: the .ico file itself (wrestool adds a few
  // bytes after it, from the group resource's size, to any program's icon).
  r = run(wrestool, {"-x", "--type=14", packed});
  EXPECT_EQ(r.out.rfind(*readFile(dir_ / "app.ico"), 0), 0u);

  // At the limits: as many icon images as pefile reads, and the longest title whose version
  // information fits its 16-bit length (the file's name, most.exe, takes the rest). One image
  // or one character more is a usage error that writes nothing.
  writeFile(dir_ / "most.ico",
            iconFile(std::vector<std::string>(4096, bitmapIconImage(16, 16, 32))));
  writeFile(dir_ / "more.ico",
            iconFile(std::vector<std::string>(4097, bitmapIconImage(16, 16, 32))));
  const auto title = [](std::size_t length) {
    std::string text;  // CJK characters, so that no byte value dominates the file
    for (std::size_t i = 0; i < length; ++i) {
      const auto c = static_cast<std::uint32_t>(0x4e00 + i % 20000);
      text += {static_cast<char>(0xe0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3f)),
               static_cast<char>(0x80 | (c & 0x3f))};
    }
    return text;
  };
  const std::string most =
      pack(GetParam(), "most.exe", nullptr,
           {"--windows-icon", dir_ / "most.ico", "--windows-title", title(32609)});
  EXPECT_EQ(run(kTool, {"verify", most}).status, 0);
  writeFile(dir_ / "limits.py", R"(import json, sys, pefile
pe = pefile.PE(sys.argv[1])
table = pe.FileInfo[0][0].StringTable[0]
print(json.dumps({"warnings": pe.get_warnings(), "length": pe.VS_VERSIONINFO[0].Length,
                  "title": len(table.entries[b"ProductName"].decode()),
                  "icons": [len(e.directory.entries) for e in pe.DIRECTORY_ENTRY_RESOURCE.entries
                            if e.id == 3]}))
)");
  r = run(python, {dir_ / "limits.py", most});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out),
            nlohmann::json::parse(R"({"warnings": [], "length": 65532, "title": 32609,
                                      "icons": [4096]})"));
  for (const auto& options : {std::vector<std::string>{"--windows-title", title(32610)},
                              std::vector<std::string>{"--windows-icon", dir_ / "more.ico"}}) {
    std::vector<std::string> args = {"pack",   dir_ / "script.rex", "-o", dir_ / "more.exe",
                                     "--stub", GetParam()};
    args.insert(args.end(), options.begin(), options.end());
    r = run(kTool, args);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "more.exe"));
  }
}

// The cross-built launcher, signed, run under Wine with the recording stand-in for rexx.dll:
// the interpreter must receive exactly the script. Needs the Windows build's launcher and
// stand-in, given at configure time.
TEST(SignedLauncher, RunsItsScriptUnderWine) {
  const std::string launcher = TAVMOR_WINDOWS_LAUNCHER;
  const std::string standin = TAVMOR_WINDOWS_STANDIN;
  if (launcher.empty() || standin.empty()) {
    GTEST_SKIP() << "configure with TAVMOR_WINDOWS_LAUNCHER and TAVMOR_WINDOWS_STANDIN";
  }
  TempDir dir;
  const auto winePath = [](std::string path) {
    for (char& c : path) c = c == '/' ? '\\' : c;
    return "Z:" + path;
  };
  std::filesystem::copy_file(standin, dir / "rexx.dll");
  makeCertificate(dir);
  // With its own icon and version information, too.
  for (const auto& packOptions : {std::vector<std::string>(), resourceOptions(dir)}) {
    ASSERT_EQ(
        sign(dir, pack(dir, launcher, "app.exe", nullptr, packOptions), dir / "signed.exe").status,
        0);
    ASSERT_EQ(checkSignature(dir, dir / "signed.exe").status, 0);

    RunOptions options;
    options.cwd = dir.path();
    options.env["WINEPREFIX"] = std::string(TAVMOR_SIGNING_WINE_PREFIX);
    options.env["WINEDEBUG"] = "-all";
    options.env["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
    options.env["TAVMOR_STANDIN_LOG"] = winePath(dir / "log.txt");
    const RunResult r = run(TAVMOR_WINE, {winePath(dir / "signed.exe"), "alpha"}, options);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const std::string scriptHex = standinHex(kScript);
    const auto log = readFile(dir / "log.txt");
    ASSERT_TRUE(log) << r.out << r.err;
    EXPECT_NE(log->find("\nprogram " + scriptHex + "\n"), std::string::npos) << *log;
    std::filesystem::remove(dir / "log.txt");
    std::filesystem::remove(dir / "signed.exe");
  }
}

INSTANTIATE_TEST_SUITE_P(WindowsStubs, SigningTest, ::testing::ValuesIn(windowsStubs()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return param.index == 0 ? std::string("Fixture")
                                                   : std::string("Launcher");
                         });

}  // namespace
}  // namespace tavmor::test
