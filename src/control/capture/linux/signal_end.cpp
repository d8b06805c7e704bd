#include "control/capture/signal_end.h"

#include <csignal>

namespace pitchlog {

void end_by_signal(int signal) {
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace pitchlog
