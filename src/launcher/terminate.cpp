// What ends the launcher when an exception escapes, which no path of it lets happen: one line,
// as for any other failure, and the failure status. This takes the place of libstdc++'s verbose
// handler, whose name demangler and printf made up a third of the Windows launcher.
#include <cstdio>
#include <cstdlib>

namespace __gnu_cxx {

[[noreturn]] void __verbose_terminate_handler() {
  std::fputs("ERROR: The launcher failed unexpectedly.\n", stderr);
  std::fflush(stderr);
  std::_Exit(-1);
}

}  // namespace __gnu_cxx
