#pragma once
// The Windows desktop grab (USER32 and GDI32) and the Windows pause, plugged
// into a `platform`. Free of OpenCV and of <windows.h>.
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "control/capture/platform.h"

namespace pitchlog {

// What the GDI grab keeps from one grab to the next: the last grab's pixel
// rows (valid until the next grab) and whether a failure was already reported.
struct gdi_grab_buffer {
  std::vector<uint8_t> pixels;
  bool failure_reported = false;
};

// Copies the whole primary screen into `buffer` as 24-bit bottom-up rows and
// points `grab` at them. False, said once on `error`, when no bitmap of the
// screen can be made.
bool grab_desktop_gdi(gdi_grab_buffer& buffer, std::ostream& error, screen_grab& grab);

// Sleeps for the given milliseconds; 0 gives up the rest of the time slice.
void pause_win(int milliseconds);

// Sets the platform's source grab to the GDI grab (into a buffer of its own,
// reporting on `error`, which must outlive `p`) and its pause to pause_win.
void fill_windows_platform(platform& p, std::ostream& error);

}  // namespace pitchlog
