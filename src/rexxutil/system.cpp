// The system: versions, sleeping, error texts, the process, and the functions regutil has no
// Unix counterpart for.
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {

APIRET sysUtilVersion(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  return setResult(result, "3.6");
}

APIRET sysVersion(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  utsname names{};
  if (uname(&names) != 0) return setResult(result, "");
  return setResult(result, std::string(names.sysname) + " " + names.version + "." + names.release);
}

APIRET sysBootDrive(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  return setResult(result, "/vmunix");
}

APIRET sysSystemDirectory(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  return setResult(result, "/etc");
}

APIRET sysSleep(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  const Seconds seconds = secondsOf(args.text(0));
  // regutil would wait for ever on a negative time; nothing to wait for is sounder.
  // A signal ends the sleep, as in regutil: Ctrl-C or SIGTERM then halts the program at once.
  const timespec wait{seconds.whole, seconds.nanoseconds};
  nanosleep(&wait, nullptr);
  return setResult(result, "0");
}

APIRET sysGetErrorText(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  return setResult(result, std::strerror(static_cast<int>(args.number(0))));
}

APIRET sysQueryProcess(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  const std::string what = upper(args.text(0));
  if (what == "PID") return setResult(result, static_cast<long>(getpid()));
  if (what == "TID") return setResult(result, "0");
  if (what == "PPRIO" || what == "TPRIO") return setResult(result, "NORMAL");
  if (what == "PTIME" || what == "TTIME") return setResult(result, static_cast<long>(clock()));
  return kBadCall;
}

APIRET sysSetPriority(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  if (!Arguments(argc, argv).within(2, 2)) return kBadCall;
  return setResult(result, "0");
}

APIRET notImplemented(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  return setResult(result, "not implemented");
}

APIRET sysWaitNamedPipe(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  if (!Arguments(argc, argv).within(1, 2)) return kBadCall;
  return setResult(result, "2");
}

APIRET sysWinCrypt(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  if (!Arguments(argc, argv).within(1, 1)) return kBadCall;
  return setResult(result, "82");
}

}  // namespace tavmor::rexxutil
