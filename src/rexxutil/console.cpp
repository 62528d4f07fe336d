// The terminal: clearing it, the cursor, single keys and its size, by ANSI sequences and termios.
#include <sys/ioctl.h>
#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "rexxutil/functions.hpp"

namespace tavmor::rexxutil {
namespace {

void write(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// regutil takes its sequences from the terminal database for TERM; without a terminal type it
// has none, and ANSI ones (as xterm's entry gives) otherwise.
bool terminalKnown() {
  const char* type = std::getenv("TERM");
  return type != nullptr && *type != '\0' && std::string_view(type) != "dumb";
}

}  // namespace

APIRET sysCls(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  if (!terminalKnown()) return setResult(result, "1");
  write("\x1b[H\x1b[2J");
  return setResult(result, "0");
}

APIRET sysCurState(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(1, 1)) return kBadCall;
  const std::string state = upper(args.text(0));
  if (!terminalKnown())
    write(state);
  else
    write(state == "OFF" ? "\x1b[?25l" : "\x1b[?12l\x1b[?25h");
  // regutil leaves Regina's result buffer as it found it: RXAUTOBUFLEN zero bytes.
  return setResult(result, std::string(RXAUTOBUFLEN, '\0'));
}

// The position is not read back from the terminal: like regutil, the answer is always "0 0".
APIRET sysCurPos(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (args.count() != 0 && args.count() != 2) return kBadCall;
  // regutil fails without arguments (it reads the missing ones); moving nowhere is sounder.
  if (args.count() == 2 && terminalKnown()) {
    write("\x1b[" + std::to_string(args.number(0)) + ";" + std::to_string(args.number(1)) + "H");
  }
  return setResult(result, "0 0");
}

// SysGetKey([option], [timeout]): any option turns echo off, as in regutil.
APIRET sysGetKey(PCSZ, ULONG argc, PRXSTRING argv, PCSZ, PRXSTRING result) {
  const Arguments args(argc, argv);
  if (!args.within(0, 2)) return kBadCall;
  const bool echo = !args.given(0);
  // No timeout, or 0 (also a timeout that is no number): wait for a key. A negative one: take
  // only a key already there, as regina does.
  timeval timeout{};
  timeval* wait = nullptr;
  if (args.given(1)) {
    const Seconds seconds = secondsOf(args.text(1));
    if (!seconds.zero() || seconds.negative) {
      timeout.tv_sec = seconds.whole;
      timeout.tv_usec = static_cast<suseconds_t>(seconds.nanoseconds / 1000);
      wait = &timeout;
    }
  }
  termios saved{};
  const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IXON | IXOFF | IXANY | BRKINT);
    if (echo)
      raw.c_lflag |= ECHO | ECHOE | ECHOK;
    else
      raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  fd_set input;
  FD_ZERO(&input);
  FD_SET(STDIN_FILENO, &input);
  std::string key;
  // Read through stdio, as Regina reads its own input, so that neither loses what the other
  // buffered. At the end of the input, the byte that C's EOF makes.
  if (select(STDIN_FILENO + 1, &input, nullptr, nullptr, wait) > 0) {
    key.assign(1, static_cast<char>(std::getchar()));
  }
  if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return setResult(result, key);
}

APIRET sysTextScreenRead(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  return setResult(result, "not implemented");
}

APIRET sysTextScreenSize(PCSZ, ULONG, PRXSTRING, PCSZ, PRXSTRING result) {
  winsize size{};
  if (ioctl(STDIN_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0) return kBadCall;
  return setResult(result, std::to_string(size.ws_row) + " " + std::to_string(size.ws_col));
}

}  // namespace tavmor::rexxutil
