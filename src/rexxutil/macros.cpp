// The macro space, through Regina's own interface to it.
#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

ULONG searchOrder(char option) {
  return option == 'A' ? RXMACRO_SEARCH_AFTER : RXMACRO_SEARCH_BEFORE;
}

APIRET answer(PRXSTRING result, APIRET rc) { return setResult(result, static_cast<long>(rc)); }

}  // namespace

APIRET sysAddRexxMacro(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 3)) return kBadCall;
  std::string name = args.string(0), file = args.string(1);
  return answer(result, RexxAddMacro(name.data(), file.data(), searchOrder(args.option(2, 'B'))));
}

APIRET sysClearRexxMacroSpace(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  if (!Arguments(argc, argv).within(0, 0)) return kBadCall;
  return answer(result, RexxClearMacroSpace());
}

APIRET sysDropRexxMacro(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  std::string name = args.string(0);
  return answer(result, RexxDropMacro(name.data()));
}

APIRET sysLoadRexxMacroSpace(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  std::string file = args.string(0);
  return answer(result, RexxLoadMacroSpace(0, nullptr, file.data()));
}

APIRET sysQueryRexxMacro(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  std::string name = args.string(0);
  USHORT position = 0;
  if (RexxQueryMacro(name.data(), &position) != RXMACRO_OK) return setResult(result, "");
  if (position == RXMACRO_SEARCH_BEFORE) return setResult(result, "B");
  return setResult(result, position == RXMACRO_SEARCH_AFTER ? "A" : "");
}

APIRET sysReorderRexxMacro(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(2, 2)) return kBadCall;
  std::string name = args.string(0);
  return answer(result, RexxReorderMacro(name.data(), searchOrder(args.option(1, 'B'))));
}

APIRET sysSaveRexxMacroSpace(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  std::string file = args.string(0);
  return answer(result, RexxSaveMacroSpace(0, nullptr, file.data()));
}

}  // namespace tavmor::rexxutil
