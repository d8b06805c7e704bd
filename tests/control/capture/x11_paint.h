#pragma once
// Paints test patterns straight onto an X display's root window (Xlib kept
// out of the test files, whose OpenCV headers clash with its macros).
#include <cstdint>
#include <string>
#include <vector>

namespace x11_paint {

struct filled_rect {
  int x, y, width, height;
  uint32_t rgb;  // 0xRRGGBB
};

// Fills the rectangles in order on the root window of `display` and returns
// once the server has drawn them; false when the display cannot be opened.
bool paint_root(const std::string& display, const std::vector<filled_rect>& rects);

}  // namespace x11_paint
