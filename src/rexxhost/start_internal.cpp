// Regina linked in: the program starts through the routine that RexxStart itself calls, which
// takes any number of arguments, where RexxStart refuses more than 32 and takes at most one from
// a command. So the program is invoked as a command, as regina invokes it, and still receives
// each argument on its own.
#include <nss.h>
#include <rexxsaa.h>

#include <climits>
#include <new>
#include <utility>

#include "rexxhost/start.hpp"

extern "C" {
// Regina's process-wide state in its single-threaded build, and two routines of its own interface
// layer, as libregina.a defines them (Regina 3.6).
extern char __regina_tsd[];
void __regina_starttrace(void* tsd);
void __regina_CloseOpenFiles(void* tsd);
int __regina_IfcExecScript(void* tsd, int nameLength, const char* name, int argumentCount,
                           const int* argumentLengths, const char** arguments, int callType,
                           int exitFlags, int environmentLength, const char* environment,
                           int sourceKind, int restricted, const char* source,
                           unsigned long sourceLength, const void* tokens,
                           unsigned long tokensLength, int* resultLength, char** result,
                           void** tokensOut, unsigned long* tokensOutLength);
}

namespace tavmor {
namespace {

// Regina's codes for a command invocation, a program handed over as source text, and an omitted
// argument.
constexpr int kInvokedAsCommand = 26;
constexpr int kProgramFromSource = 17;
constexpr int kOmittedArgument = -1;
constexpr char kEnvironment[] = "SYSTEM";
constexpr std::pair<const char*, const char*> kNameServices[] = {
    {"passwd", "files"}, {"group", "files"}, {"hosts", "files dns"}};

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
    lengths.push_back(argument != nullptr ? static_cast<int>(argument->size()) : kOmittedArgument);
  }
  // Statically linked, the C library would load any other name service that nsswitch.conf
  // lists (LDAP, SSSD, systemd) from the system's own C library, of whatever version, into this
  // process. Users and groups come from /etc/passwd and /etc/group, hosts from /etc/hosts and DNS.
  for (const auto& [database, services] : kNameServices) {
    __nss_configure_lookup(database, services);
  }
  // Any call of the SAA interface sets Regina up as RexxStart would.
  ReginaVersion(nullptr);
  void* const tsd = __regina_tsd;
  __regina_starttrace(tsd);
  int resultLength = 0;
  char* result = nullptr;
  void* tokens = nullptr;
  unsigned long tokensLength = 0;
  __regina_IfcExecScript(tsd, static_cast<int>(std::char_traits<char>::length(name)), name,
                         static_cast<int>(arguments.size()), lengths.data(), texts.data(),
                         kInvokedAsCommand, 0, sizeof kEnvironment - 1, kEnvironment,
                         kProgramFromSource, 0, source.data(), source.size(), nullptr, 0,
                         &resultLength, &result, &tokens, &tokensLength);
  if (result != nullptr) RexxFreeMemory(result);
  if (tokens != nullptr) RexxFreeMemory(tokens);
  __regina_CloseOpenFiles(tsd);
  return Status::success();
}

}  // namespace tavmor
