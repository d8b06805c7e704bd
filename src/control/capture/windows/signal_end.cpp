// The C runtime's default action for SIGINT is _exit(3), not what the console
// does with a program that leaves Ctrl+C alone: that program ends with
// STATUS_CONTROL_C_EXIT, and so does pitchlog.exe.
#include "control/capture/signal_end.h"

#include <csignal>

#include "control/capture/windows/windows_api.h"

namespace pitchlog {

void end_by_signal(int signal) {
  if (signal == SIGINT) ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace pitchlog
