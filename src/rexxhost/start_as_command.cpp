// Regina linked in: the program starts through the routine that RexxStart itself calls, which
// takes any number of arguments, where RexxStart refuses more than 32 and takes at most one from
// a command. So the program is invoked as a command, as regina invokes it, and still receives
// each argument on its own.
#include <rexxsaa.h>

#include <climits>
#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "rexxhost/start.hpp"

extern "C" {
// Regina's process-wide state in its single-threaded build, and three routines of its own
// interface layer, as libregina.a defines them in Regina 3.6 (client.c, rexxsaa.c). The build
// refuses any other version (see CMakeLists.txt), and so does startProgram at run time.
extern char __regina_tsd[];
void __regina_starttrace(void* tsd);
void __regina_CloseOpenFiles(void* tsd, int purge);
int __regina_IfcExecScript(void* tsd, int nameLength, const char* name, int argumentCount,
                           const int* argumentLengths, const char** arguments, int callType,
                           int exitFlags, int environmentLength, const char* environment,
                           int sourceKind, int restricted, const char* source,
                           unsigned long sourceLength, const void* tokens,
                           unsigned long tokensLength, int* resultLength, char** result,
                           void** tokensOut, unsigned long* tokensOutLength);

// Given a program as text, IfcExecScript has it tokenised and then serialised for the caller to
// keep, which the launcher never does: for 1 MiB of assignments that took 27 MiB more memory
// than regina's run and a quarter more time. The launcher is linked with --wrap for it, so that
// Regina's call comes here and there is nothing to hand back.
void* __wrap___regina_TinTree(const void* tsd, const void* parsed, unsigned long* length);
void* __wrap___regina_TinTree(const void*, const void*, unsigned long* length) {
  *length = 0;
  return nullptr;
}

// The program's parse tree, which Regina destroys node by node as the program ends (a twentieth
// of a 1 MiB program's time) and regina itself leaves to the process's end, as the launcher now
// does: nothing reads it after the program has ended. Regina 3.6 makes a system block
// (creat_sysinfo) for every program it runs, the program's own first, and keeps its tree at
// kTreeInSystem in it. Every other tree (INTERPRET's, an external routine's on each call) is
// destroyed as before; a block laid out otherwise is never matched, and its tree is destroyed too.
void* __real___regina_creat_sysinfo(const void* tsd, void* environment);
void* __wrap___regina_creat_sysinfo(const void* tsd, void* environment);
void __real___regina_DestroyInternalParsingTree(const void* tsd, void* tree);
void __wrap___regina_DestroyInternalParsingTree(const void* tsd, void* tree);
}

namespace {

constexpr std::size_t kTreeInSystem = 0x60;
// While startProgram runs: the first block is the program's, and its tree is left once.
enum class ProgramTree { kNotRunning, kAwaited, kLeft } programTree = ProgramTree::kNotRunning;
const void* programTreeAddress = nullptr;

}  // namespace

extern "C" void* __wrap___regina_creat_sysinfo(const void* tsd, void* environment) {
  void* const system = __real___regina_creat_sysinfo(tsd, environment);
  if (programTree == ProgramTree::kAwaited && system != nullptr) {
    programTreeAddress = static_cast<const char*>(system) + kTreeInSystem;
    programTree = ProgramTree::kLeft;
  }
  return system;
}

extern "C" void __wrap___regina_DestroyInternalParsingTree(const void* tsd, void* tree) {
  if (programTree == ProgramTree::kLeft && tree == programTreeAddress) {
    // The block itself goes back to Regina's pool, where a later program's may take its place.
    programTree = ProgramTree::kNotRunning;
    return;
  }
  __real___regina_DestroyInternalParsingTree(tsd, tree);
}

namespace tavmor {
namespace {

// Codes of Regina 3.6's interface layer (rxiface.h): how the program is invoked, where its
// source comes from, and an omitted argument's length.
constexpr int kReginaTypeCommand = 26;   // RX_TYPE_COMMAND
constexpr int kReginaTypeSource = 17;    // RX_TYPE_SOURCE: the program as text, tokenised here
constexpr int kReginaNoString = -1;      // RX_NO_STRING
constexpr int kReginaKeepFileTable = 0;  // CloseOpenFiles: close and flush, keep the table
constexpr char kEnvironment[] = "SYSTEM";
constexpr std::string_view kSupportedVersion = "REXX-Regina_3.6 ";

// The version Regina reports, which also sets it up as RexxStart would.
std::string reginaVersion() {
  RXSTRING version;
  MAKERXSTRING(version, nullptr, 0);
  ReginaVersion(&version);
  std::string text =
      version.strptr != nullptr ? std::string(version.strptr, version.strlength) : "";
  if (version.strptr != nullptr) RexxFreeMemory(version.strptr);
  return text;
}

}  // namespace

Status startProgram(const char* name, std::string_view source,
                    const std::vector<const std::string*>& arguments) {
  if (arguments.size() > INT_MAX) return Status::failure("Too many arguments for Regina.");
  std::vector<int> lengths;
  std::vector<const char*> texts;
  try {
    lengths.reserve(arguments.size());
    texts.reserve(arguments.size());
  } catch (const std::bad_alloc&) {
    return Status::failure("Not enough memory to pass the arguments to Regina.");
  }
  for (const std::string* argument : arguments) {
    if (argument != nullptr && argument->size() > INT_MAX) {
      return Status::failure("An argument is too long for Regina.");
    }
    texts.push_back(argument != nullptr ? argument->data() : nullptr);
    lengths.push_back(argument != nullptr ? static_cast<int>(argument->size()) : kReginaNoString);
  }
  const std::string version = reginaVersion();
  if (version.compare(0, kSupportedVersion.size(), kSupportedVersion) != 0) {
    return Status::failure(
        "This launcher runs programs with Regina 3.6, but the Regina inside it is " +
        (version.empty() ? std::string("of no known version") : version) + ".");
  }
  void* const tsd = __regina_tsd;
  __regina_starttrace(tsd);
  programTree = ProgramTree::kAwaited;
  int resultLength = 0;
  char* result = nullptr;
  void* tokens = nullptr;
  unsigned long tokensLength = 0;
  int code = 0;
  const Status ran = whileRunning(name, [&] {
    code = __regina_IfcExecScript(tsd, static_cast<int>(std::char_traits<char>::length(name)), name,
                                  static_cast<int>(arguments.size()), lengths.data(), texts.data(),
                                  kReginaTypeCommand, 0, sizeof kEnvironment - 1, kEnvironment,
                                  kReginaTypeSource, 0, source.data(), source.size(), nullptr, 0,
                                  &resultLength, &result, &tokens, &tokensLength);
  });
  programTree = ProgramTree::kNotRunning;
  if (!ran.ok()) return ran;
  if (result != nullptr) RexxFreeMemory(result);
  if (tokens != nullptr) RexxFreeMemory(tokens);
  // Closes the program's streams and flushes its output, as Regina does before it runs a command
  // or ends on an error; the file table itself goes with ReginaCleanup. (Declared with one
  // argument, it took whatever a register held as `purge`: the sanitizer build purged, the
  // release build did not.)
  __regina_CloseOpenFiles(tsd, kReginaKeepFileTable);
  // Zero, or the negated number of an error that the program raised and Regina reported (-35 for
  // Error 35); a positive code is Regina's refusal to start it, as RexxStart returns it.
  if (code > 0) {
    return Status::failure(std::string("Regina would not start the Rexx script ") + name +
                           " (code " + std::to_string(code) + ").");
  }
  return Status::success();
}

}  // namespace tavmor
