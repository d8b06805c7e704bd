#pragma once
// Ending the process as a signal ends a program that does not handle it, for
// the signals pitchlog holds back while it writes a report.

namespace pitchlog {

// Ends the process as `signal` would have ended it unhandled: on Linux by the
// signal itself (inside that signal's handler the process ends as the handler
// returns), on Windows Ctrl+C with the exit status the console gives such a
// program, and any other signal as the C runtime's default action. Safe to
// call in a signal handler.
void end_by_signal(int signal);

}  // namespace pitchlog
