// Windows launcher files signed the way a publisher signs them (osslsigncode, a throwaway
// certificate made for each test), then inspected, verified and extracted with tavmor.
#include <filesystem>

#include "e2e/e2e.hpp"
#include "payload/format.hpp"
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

// Packs kScript into dir/out with stub.
std::string pack(const TempDir& dir, const std::string& stub, const std::string& out,
                 RunResult* result = nullptr) {
  writeFile(dir / "script.rex", kScript);
  const RunResult r = run(kTool, {"pack", dir / "script.rex", "-o", dir / out, "--stub", stub});
  EXPECT_EQ(r.status, 0) << r.err;
  if (result) *result = r;
  return dir / out;
}

class SigningTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { makeCertificate(dir_); }
  RunResult sign(const std::string& in, const std::string& out) {
    return test::sign(dir_, in, out);
  }
  RunResult checkSignature(const std::string& file) { return test::checkSignature(dir_, file); }
  std::string pack(const std::string& stub, const std::string& out, RunResult* result = nullptr) {
    return test::pack(dir_, stub, out, result);
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
  ASSERT_EQ(sign(dir, pack(dir, launcher, "app.exe"), dir / "signed.exe").status, 0);
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
}

INSTANTIATE_TEST_SUITE_P(WindowsStubs, SigningTest, ::testing::ValuesIn(windowsStubs()),
                         [](const ::testing::TestParamInfo<std::string>& param) {
                           return param.index == 0 ? std::string("Fixture")
                                                   : std::string("Launcher");
                         });

}  // namespace
}  // namespace tavmor::test
