#pragma once
// The Linux desktop grab: the X display's root window as 24-bit rows, top row
// first, through MIT-SHM when the server offers it, else through XGetImage.
#include <cstdint>
#include <iosfwd>
#include <memory>

#include "control/capture/platform.h"

namespace pitchlog {

enum class x11_fetch {
  shared_memory,  // XShmGetImage into one segment, remade only when the screen size changes
  get_image,      // XGetImage: a new image from the server at every grab
};

// Display connection and server image; grabs hand out the server image,
// turned into BGR rows in place.
struct x11_grabber;
struct x11_grabber_deleter {
  void operator()(x11_grabber* grabber) const;
};
using x11_grabber_ptr = std::unique_ptr<x11_grabber, x11_grabber_deleter>;

// Connects to the display named by DISPLAY. `preferred` shared_memory falls
// back to get_image when the extension is missing or fails. Null (after one
// line on `error`) when the display cannot be opened.
x11_grabber_ptr open_x11_grabber(std::ostream& error,
                                 x11_fetch preferred = x11_fetch::shared_memory);

// The fetch the grabber uses now (shared_memory may have fallen back).
x11_fetch x11_grabber_fetch(const x11_grabber& grabber);

// Copies the root window from the server into the grabber's image; false
// when the server refuses or the connection is lost.
bool x11_fetch_screen(x11_grabber& grabber);

// True only when the server reported no change of the screen since the last
// successful fetch began (so the screen shows what it fetched); false when it
// has no change reports, after a failed fetch, or when the connection is lost.
bool x11_screen_unchanged(x11_grabber& grabber);

// True when the server reported a change of the screen after the emptying of
// its reports before the fetch before the last one, and before the last fetch
// was answered: the last fetch may show a change that was reported. False
// when none was reported, or it has no change reports.
bool x11_change_reported_before_fetch(const x11_grabber& grabber);

// Turns the last fetched image into padded BGR rows, top row first
// (`grab.top_down`), in its own memory (or, for an uncommon pixel format, in a
// reused buffer), and describes them in `grab` (an empty grab when nothing was
// fetched). Converting the same fetch again describes the same rows.
void x11_convert(x11_grabber& grabber, screen_grab& grab);

// The desktop grab of a run: the grabber, opened on first use and again after
// a failure, and whether the current outage was reported.
struct x11_grab {
  std::ostream* error = nullptr;  // where each outage is reported, once
  x11_fetch preferred = x11_fetch::shared_memory;
  x11_grabber_ptr grabber{};
  bool outage_reported = false;
};

// Fetches and converts the screen (a `frame_source::grab`); false, with one
// line on `state.error` per outage, when no grab is possible. A lost
// connection is dropped, so the next grab connects afresh.
bool grab_x11_screen(x11_grab& state, screen_grab& grab);

// x11_screen_unchanged for the grab of a run (a `frame_source::unchanged`);
// false before its first grab.
bool x11_screen_unchanged(x11_grab& state);

// x11_change_reported_before_fetch for the grab of a run (a
// `frame_source::change_reported_before_grab`).
bool x11_change_reported_before_grab(const x11_grab& state);

}  // namespace pitchlog
