#pragma once
// A window of its own on an X display, filled with one colour (Xlib kept out
// of the test files, whose OpenCV headers clash with its macros).
#include <cstdint>
#include <memory>
#include <string>

namespace x11_window {

struct window;
struct window_deleter {
  void operator()(window* w) const;  // closes the window and its connection
};
using window_ptr = std::unique_ptr<window, window_deleter>;

// Maps an undecorated window at (x, y) filled with 0xRRGGBB and returns once
// the server has drawn it; null when the display cannot be opened.
window_ptr show(const std::string& display, int x, int y, int width, int height, uint32_t rgb);

// Fills the window anew and returns once the server has drawn it.
void fill(window& w, uint32_t rgb);

}  // namespace x11_window
