#include <windows.h>

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/path.hpp"
#include "support/test_support.hpp"

namespace tavmor::test {

NativePath nativePath(const std::string& path) {
  auto native = pathFromUtf8(path);
  if (!native) throw std::runtime_error("not UTF-8: " + path);
  return std::move(*native);
}

namespace {

std::wstring wide(const std::string& utf8) { return nativePath(utf8); }

std::string narrow(const std::wstring& text) {
  const auto utf8 = utf8FromPath(text);
  if (!utf8) throw std::runtime_error("not Unicode");
  return *utf8;
}

// Quotes one argument the way the C runtime's command-line splitting undoes it.
std::wstring quoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

struct CaseInsensitiveLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
  }
};

std::wstring environmentBlock(const std::map<std::string, std::optional<std::string>>& changes) {
  std::map<std::wstring, std::wstring, CaseInsensitiveLess> vars;
  wchar_t* strings = ::GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    const std::wstring text = entry;
    const std::size_t eq = text.find(L'=', 1);  // names like "=C:" start with '='
    if (eq != std::wstring::npos) vars[text.substr(0, eq)] = text.substr(eq + 1);
  }
  ::FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : changes) {
    if (value)
      vars[wide(name)] = wide(*value);
    else
      vars.erase(wide(name));
  }
  std::wstring block;
  for (const auto& [name, value] : vars) block += name + L"=" + value + L'\0';
  return block + L'\0';
}

struct Handle {
  HANDLE h = nullptr;
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { close(); }
  void close() {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    h = nullptr;
  }
};

// A pipe whose `childEnd` the child inherits.
void makePipe(Handle& readEnd, Handle& writeEnd, bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!::CreatePipe(&readEnd.h, &writeEnd.h, &inherit, 0)) throw std::runtime_error("CreatePipe");
  ::SetHandleInformation(childReads ? writeEnd.h : readEnd.h, HANDLE_FLAG_INHERIT, 0);
}

void readAll(HANDLE pipe, std::string& out) {
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
}

}  // namespace

TempDir::TempDir() {
  std::wstring base(MAX_PATH + 1, L'\0');
  base.resize(::GetTempPathW(static_cast<DWORD>(base.size()), base.data()));
  std::random_device seed;
  std::mt19937_64 random(seed() ^ ::GetTickCount64() ^ ::GetCurrentProcessId());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate = base + L"tavmor-test-" + std::to_wstring(random() % 1000000000);
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = narrow(candidate);
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(wide(path_), ignored);
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(wide(path)), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(std::filesystem::path(wide(path)), std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool exists(const std::string& path) {
  return ::GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const RunOptions& options) {
  std::vector<std::string> argv = options.argv.value_or(std::vector<std::string>{program});
  argv.insert(argv.end(), args.begin(), args.end());
  std::wstring commandLine;
  for (const auto& arg : argv) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += quoteArgument(wide(arg));
  }
  std::wstring environment = environmentBlock(options.env);
  const std::wstring cwd = options.cwd.empty() ? std::wstring() : wide(options.cwd);

  Handle inRead, inWrite, outRead, outWrite, errRead, errWrite;
  makePipe(inRead, inWrite, true);
  makePipe(outRead, outWrite, false);
  makePipe(errRead, errWrite, false);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead.h;
  startup.hStdOutput = outWrite.h;
  startup.hStdError = errWrite.h;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(wide(program).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        cwd.empty() ? nullptr : cwd.c_str(), &startup, &process)) {
    throw std::runtime_error("cannot start " + program);
  }
  Handle processHandle, threadHandle;
  processHandle.h = process.hProcess;
  threadHandle.h = process.hThread;
  inRead.close();
  outWrite.close();
  errWrite.close();

  RunResult result;
  std::thread outReader([&] { readAll(outRead.h, result.out); });
  std::thread errReader([&] { readAll(errRead.h, result.err); });
  DWORD written = 0;
  if (!options.stdinData.empty()) {
    ::WriteFile(inWrite.h, options.stdinData.data(), static_cast<DWORD>(options.stdinData.size()),
                &written, nullptr);
  }
  inWrite.close();
  outReader.join();
  errReader.join();
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  ::GetExitCodeProcess(process.hProcess, &exitCode);
  result.status = static_cast<int>(exitCode);
  return result;
}

}  // namespace tavmor::test
