// Regina as a shared library offers only RexxStart, which takes at most 32 arguments, and at most
// one from a command: the program is invoked as a subroutine, each argument on its own.
#include <rexxsaa.h>

#include <climits>
#include <new>

#include "rexxhost/start.hpp"

namespace tavmor {
namespace {

constexpr std::size_t kMostArguments = 32;  // Regina's own limit in RexxStart

}  // namespace

Status startProgram(const char* name, std::string_view source,
                    const std::vector<const std::string*>& arguments) {
  if (arguments.size() > kMostArguments) {
    return Status::failure("Too many arguments: " + std::to_string(arguments.size()) +
                           " given, but this build's Regina takes at most " +
                           std::to_string(kMostArguments) + ".");
  }
  std::vector<RXSTRING> args(arguments.size());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    // A null string pointer is an omitted argument.
    if (arguments[i] != nullptr) {
      MAKERXSTRING(args[i], const_cast<char*>(arguments[i]->data()), arguments[i]->size());
    } else {
      MAKERXSTRING(args[i], nullptr, 0);
    }
  }
  RXSTRING instore[2];
  MAKERXSTRING(instore[0], const_cast<char*>(source.data()), source.size());
  MAKERXSTRING(instore[1], nullptr, 0);
  SHORT returnCode = 0;
  RXSTRING result;
  MAKERXSTRING(result, nullptr, 0);
  APIRET started = 0;
  const Status ran = whileRunning(name, [&] {
    started = RexxStart(static_cast<LONG>(args.size()), args.data(), name, instore, "SYSTEM",
                        RXSUBROUTINE, nullptr, &returnCode, &result);
  });
  if (!ran.ok()) return ran;
  if (result.strptr != nullptr) RexxFreeMemory(result.strptr);
  if (instore[1].strptr != nullptr) RexxFreeMemory(instore[1].strptr);
  // A negative code is an error that the program raised, which Regina has reported; a positive
  // one is Regina's refusal to start it.
  const auto code = static_cast<long>(started);
  if (code > 0) {
    return Status::failure("Regina would not start the program (RexxStart returned " +
                           std::to_string(code) + ").");
  }
  return Status::success();
}

}  // namespace tavmor
