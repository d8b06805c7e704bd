#pragma once
// The real desktop as pitchlog's platform: the screen grab (X11 on Linux, GDI
// on Windows), real pauses, the console, standard input, and the inspection
// windows.
#include <iosfwd>

#include "control/capture/platform.h"

namespace pitchlog {

// The platform of a live run, reporting on `console` and `error`. Where no
// windows can be shown (no display, or no window module beside the program on
// Linux), the inspection exit writes the burst to image files named after the
// windows and waits for Enter instead of a key.
platform desktop_platform(std::ostream& console, std::ostream& error);

}  // namespace pitchlog
