#pragma once
// The practice game on an in-process desktop, for tests: a whole screen of
// 24-bit bottom-up rows, the game picture drawn into it at the scenario's time,
// on a virtual clock that only grabs and pauses move.
#include <cstdint>
#include <optional>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"
#include "practice/renderer.h"
#include "practice/scenario.h"

namespace practice {

inline constexpr int default_capture_cost_ms = 8;

struct desktop {
  scenario game;
  int64_t now_ms = 0;  // virtual time, the scenario's clock
  int capture_cost_ms = default_capture_cost_ms;
  int grabs = 0;
  int stride = 0;                   // bytes per stored row
  std::vector<uint8_t> background;  // the desktop without the game, bottom-up rows
  std::vector<uint8_t> pixels;      // what the last grab showed
  // Render cache: the view the game rows of `pixels` show (none: background
  // there) and its picture; the last versus view drawn without its ball, so
  // that a frame in which only the ball moves redraws just the ball's pixels.
  std::optional<game_view> shown;
  render_cache layers;
  cv::Mat picture;
  std::optional<game_view> ballless_view;
  cv::Mat ballless_picture;
};

// A desktop for this scenario at time 0, its background painted.
desktop make_desktop(scenario game);

// Draws the desktop as it is at the current virtual time into `d.pixels`,
// points `grab` at it and advances the clock by the capture cost. False, and
// nothing drawn, once the scenario is over.
bool grab_desktop(desktop& d, pitchlog::screen_grab& grab);

// Advances the virtual clock (a pause of 0 ms changes nothing).
void pause_desktop(desktop& d, int milliseconds);

// Fills the platform's grab, pause and clock (the virtual time) from `d`
// (which must outlive it); the rest of the platform is left as it is.
void connect_platform(desktop& d, pitchlog::platform& p);

// Paints a desktop background as bottom-up 24-bit rows of the given stride.
void paint_background(const desktop_layout& layout, int stride, std::vector<uint8_t>& rows);

}  // namespace practice
