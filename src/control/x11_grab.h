#pragma once
// The Linux desktop grab: the X display's root window as 24-bit rows, top row
// first, through MIT-SHM when the server offers it, else through XGetImage.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>

#include "control/platform.h"

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

// Turns the last fetched image into padded BGR rows, top row first
// (`grab.top_down`), in its own memory (or, for an uncommon pixel format, in a
// reused buffer), and describes them in `grab` (an empty grab when nothing was
// fetched). Converting the same fetch again describes the same rows.
void x11_convert(x11_grabber& grabber, screen_grab& grab);

// Ways to pack 32-bit B, G, R, X pixels into 3-byte B, G, R pixels, slowest
// first; each gives the same bytes.
enum class pack_kernel {
  scalar,       // four pixels in two 64-bit words
  ssse3,        // sixteen pixels: byte shuffles, three 16-byte stores
  avx2,         // eight pixels: in-lane shuffle, lane join, one 32-byte store
  avx512_vbmi,  // sixteen pixels: one byte permute, one masked 48-byte store
};

// Whether this processor (and system) runs `kernel`.
bool pack_kernel_supported(pack_kernel kernel);

// The fastest kernel this processor runs, chosen once per process.
pack_kernel best_pack_kernel();

// Packs one row of `width` pixels; writes exactly the 3 * width bytes of
// `target`. `target` may be `source` itself, or start before it.
void pack_bgrx_row(const uint8_t* source, uint8_t* target, int width,
                   pack_kernel kernel = best_pack_kernel());

// Packs an image of `height` rows of `bytes_per_line` bytes (at least
// 4 * width) into padded BGR rows inside the same memory, top row first,
// padding bytes zero.
void pack_bgrx_rows_in_place(uint8_t* data, int width, int height, int bytes_per_line,
                             pack_kernel kernel = best_pack_kernel());

// Fetch and convert; false (with one line on the grabber's error stream, not
// repeated until a grab works again) when no grab is possible.
bool x11_grab_screen(x11_grabber& grabber, screen_grab& grab);

// A `platform::grab_screen` for the real desktop: opens the display on first
// use and again after a failure, and reports each outage once on `error`.
std::function<bool(screen_grab&)> make_x11_grab(std::ostream& error,
                                                x11_fetch preferred = x11_fetch::shared_memory);

}  // namespace pitchlog
