// Regina linked in was built without dynamic loading: its RxFuncAdd answers 60 for every package.
// The launcher links with --wrap for Regina's built-in RxFuncAdd, RxFuncQuery and RxFuncErrMsg, so
// that Regina's calls arrive here: RexxUtil, which the launcher carries, loads as regina loads it
// from regutil, and any other package is missing, as on a machine without it.
#include <rexxsaa.h>

#include <cstring>
#include <string>
#include <string_view>

#include "rexxutil/rexxutil.hpp"

extern "C" {
// Regina's string and its list of arguments to a built-in function, as libregina.a lays them out
// (Regina 3.6): a length, an allocated size and the characters; a list with the value of each
// argument, null when omitted.
struct ReginaString {
  int length;
  int allocated;
  char value[4];
};
struct ReginaArgument {
  ReginaArgument* next;
  int deallocate;
  ReginaString* value;
};

ReginaString* __real___regina_rex_rxfuncadd(void* tsd, const ReginaArgument* arguments);
ReginaString* __real___regina_rex_rxfuncquery(void* tsd, const ReginaArgument* arguments);
ReginaString* __real___regina_rex_rxfuncerrmsg(void* tsd, const ReginaArgument* arguments);
ReginaString* __regina_int_to_streng(const void* tsd, int value);
ReginaString* __regina_Str_ncre_TSD(const void* tsd, const char* text, int length);
void __regina_give_a_strengTSD(const void* tsd, ReginaString* string);

ReginaString* __wrap___regina_rex_rxfuncadd(void* tsd, const ReginaArgument* arguments);
ReginaString* __wrap___regina_rex_rxfuncquery(void* tsd, const ReginaArgument* arguments);
ReginaString* __wrap___regina_rex_rxfuncerrmsg(void* tsd, const ReginaArgument* arguments);
}

namespace tavmor {
namespace {

// What the last RxFuncAdd that failed said, for RxFuncErrMsg; empty until one fails.
std::string lastLoadError;

// Regina's own built-in has checked the call (argument count, restricted mode) and raised the
// condition a wrong one deserves; its answer is replaced when the layout of Regina's strings is
// the one this file reads, which is checked on a string Regina made.
bool takeOver(void* tsd, ReginaString* answer) {
  static const bool layoutKnown = [tsd] {
    ReginaString* probe = __regina_int_to_streng(tsd, 12345);
    const bool known =
        probe != nullptr && probe->length == 5 && std::memcmp(probe->value, "12345", 5) == 0;
    if (probe != nullptr) __regina_give_a_strengTSD(tsd, probe);
    return known;
  }();
  if (!layoutKnown) return false;
  if (answer != nullptr) __regina_give_a_strengTSD(tsd, answer);
  return true;
}

std::string_view text(const ReginaString* s) {
  return s == nullptr ? std::string_view() : std::string_view(s->value, s->length);
}

const ReginaString* argument(const ReginaArgument* arguments, int index) {
  for (; arguments != nullptr && index > 0; --index) arguments = arguments->next;
  return arguments == nullptr ? nullptr : arguments->value;
}

}  // namespace
}  // namespace tavmor

using namespace tavmor;

ReginaString* __wrap___regina_rex_rxfuncadd(void* tsd, const ReginaArgument* arguments) {
  ReginaString* refused = __real___regina_rex_rxfuncadd(tsd, arguments);
  const ReginaString* name = argument(arguments, 0);
  const ReginaString* module = argument(arguments, 1);
  if (name == nullptr || module == nullptr || !takeOver(tsd, refused)) return refused;
  const ReginaString* entry = argument(arguments, 2);
  return __regina_int_to_streng(
      tsd, rexxutil::addFunction(text(name), text(module), text(entry != nullptr ? entry : name),
                                 lastLoadError));
}

ReginaString* __wrap___regina_rex_rxfuncquery(void* tsd, const ReginaArgument* arguments) {
  ReginaString* answer = __real___regina_rex_rxfuncquery(tsd, arguments);
  const ReginaString* name = argument(arguments, 0);
  if (name == nullptr || !takeOver(tsd, answer)) return answer;
  return __regina_int_to_streng(tsd, rexxutil::queryFunction(text(name)));
}

ReginaString* __wrap___regina_rex_rxfuncerrmsg(void* tsd, const ReginaArgument* arguments) {
  ReginaString* answer = __real___regina_rex_rxfuncerrmsg(tsd, arguments);
  if (!takeOver(tsd, answer)) return answer;
  return __regina_Str_ncre_TSD(tsd, lastLoadError.data(), static_cast<int>(lastLoadError.size()));
}
