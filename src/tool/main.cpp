// tavmor: makes launcher files from Rexx scripts and inspects them.
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "tool/cli.hpp"
#include "tool/extract.hpp"
#include "tool/inspect.hpp"
#include "tool/pack.hpp"
#include "tool/targets.hpp"
#include "tool/verify.hpp"
#include "tool/version.hpp"
#include "util/escape.hpp"

namespace {

constexpr char kHelp[] =
    "Usage: tavmor COMMAND [ARGS]\n"
    "\n"
    "Ships a Rexx script as one executable launcher file.\n"
    "\n"
    "Commands:\n"
    "  pack SCRIPT -o OUT [--target TARGET | --stub LAUNCHER]\n"
    "                          pack a script into a launcher file\n"
    "  targets                 list the targets to pack for and their installed stubs\n"
    "  extract FILE [-o OUT]   write the script a launcher file runs\n"
    "  inspect FILE [--json]   show what a launcher file holds\n"
    "  verify FILE             check that a launcher file runs its script as packed\n"
    "\n"
    "Options:\n"
    "  -h, --help              show this help ('tavmor COMMAND --help' for a command)\n"
    "      --version           show the version\n";

int dispatch(int argc, char** argv) {
  using namespace tavmor;
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  if (args.empty()) {
    std::cerr << kHelp;
    return cli::kStatusUsage;
  }
  const std::string& verb = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (verb == "--help" || verb == "-h" || verb == "help") {
    return cli::exitStatus("", cli::output(kHelp));
  }
  if (verb == "--version") {
    return cli::exitStatus("", cli::output(std::string("tavmor ") + kToolVersion + '\n'));
  }
  if (verb == "pack") return packCommand(rest);
  if (verb == "extract") return extractCommand(rest);
  if (verb == "inspect") return inspectCommand(rest);
  if (verb == "verify") return verifyCommand(rest);
  if (verb == "targets") return targetsCommand(rest);
  return cli::exitStatus("",
                         cli::usageFailure("unknown command '" + verb + "' (see 'tavmor --help')"));
}

}  // namespace

int main(int argc, char** argv) {
  // Whole files and their encodings live in standard containers; when memory runs out the
  // command ends with one line, not an abort. The line is built without the heap.
  try {
    return dispatch(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("tavmor: ", stderr);
    tavmor::writeEscaped(stderr, argc > 1 ? argv[1] : "");
    std::fputs(": not enough memory\n", stderr);
    std::fflush(stderr);
    return tavmor::cli::kStatusFailure;
  }
}
