// The terminal: clearing it, the cursor, single keys and its size, by ANSI sequences and termios.
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

void write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

APIRET sysCls(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  write("\x1b[H\x1b[2J");
  return setResult(result, "0");
}

APIRET sysCurState(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  write(upper(args.text(0)) == "OFF" ? "\x1b[?25l" : "\x1b[?12l\x1b[?25h");
  // regutil leaves Regina's result buffer as it found it: RXAUTOBUFLEN zero bytes.
  return setResult(result, std::string(RXAUTOBUFLEN, '\0'));
}

APIRET sysCurPos(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (args.count() != 0 && !args.within(2, 2)) return kBadCall;
  if (args.count() == 2) {
    write("\x1b[" + std::to_string(args.number(0) + 1) + ";" + std::to_string(args.number(1) + 1) +
          "H");
  }
  return setResult(result, "0 0");
}

APIRET sysGetKey(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(0, 1)) return kBadCall;
  const bool echo = upper(args.text(0)) != "NOECHO";
  termios saved{};
  const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | (echo ? 0 : ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  unsigned char key = 0;
  // At the end of the input, the byte C's EOF makes.
  if (read(STDIN_FILENO, &key, 1) != 1) key = 0xff;
  if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return setResult(result, std::string(1, static_cast<char>(key)));
}

APIRET sysTextScreenRead(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  return setResult(result, "not implemented");
}

APIRET sysTextScreenSize(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0) return kBadCall;
  return setResult(result, std::to_string(size.ws_row) + " " + std::to_string(size.ws_col));
}

}  // namespace tavmor::rexxutil
