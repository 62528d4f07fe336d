#pragma once
// Signals that must not cut a file's write short or end a process with its temporary file still
// there: the launcher's temp script and the tool's outputs are written under a SignalHold.

#include <string>

namespace tavmor {

enum class HeldSignals {
  // A write past the file size limit (`ulimit -f`) fails with EFBIG, as a full disk fails it,
  // instead of ending the process with SIGXFSZ.
  kFileSizeLimit,
  // That, and every signal that ends a process by default and may come from outside (SIGHUP,
  // SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU,
  // SIGPOLL, SIGPWR, SIGSTKFLT, the real-time signals), wait on this thread until the hold ends,
  // and then take effect.
  kFileSizeLimitAndTermination,
};

// Holds signals back for as long as it lives. Holds nest: the outermost one's end releases
// them. For programs that write such files from one thread at a time. Does nothing on Windows.
class SignalHold {
 public:
  explicit SignalHold(HeldSignals held = HeldSignals::kFileSizeLimitAndTermination);
  ~SignalHold();
  SignalHold(const SignalHold&) = delete;
  SignalHold& operator=(const SignalHold&) = delete;

 private:
  bool termination_;
};

// From now until the process ends, SIGHUP, SIGINT, SIGQUIT or SIGTERM, where it would end the
// process, removes the file at `path` first and then ends it as it would have. A signal that is
// ignored or caught is left so; a handler installed later (the interpreter's) takes its signal
// over. The other signals a hold holds back do the same only until the outermost hold ends,
// which then puts their actions back exactly. Call it under a SignalHold, so that a signal held
// meanwhile finds the file in place.
void removeOnTermination(const std::string& path);

// From now on such a signal removes nothing: the file is gone, and whatever is at its name later
// is another's.
void cancelRemovalOnTermination();

}  // namespace tavmor
