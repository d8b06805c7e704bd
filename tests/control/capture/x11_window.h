#pragma once
// A window of its own on an X display (Xlib kept out of the test files).
#include <cstdint>
#include <memory>
#include <string>

namespace x11_window {

struct window;

// Maps an undecorated window filled with 0xRRGGBB, once drawn; closed when
// released; null without the display.
std::shared_ptr<window> show(const std::string& display, int x, int y, int width, int height,
                             uint32_t rgb);

// Fills it anew, once drawn.
void fill(window& w, uint32_t rgb);

}  // namespace x11_window
