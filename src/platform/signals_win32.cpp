#include "platform/signals.hpp"

namespace tavmor {

// Windows has no file size limit signal, and its console events (Ctrl+C, a closed console) are
// not signals that a mask holds back.
SignalHold::SignalHold(HeldSignals held)
    : termination_(held == HeldSignals::kFileSizeLimitAndTermination) {}

SignalHold::~SignalHold() = default;

void removeOnTermination(const std::string&) {}

void cancelRemovalOnTermination() {}

}  // namespace tavmor
