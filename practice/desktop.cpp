#include "practice/desktop.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "control/capture/clock_text.h"
#include "control/capture/screen_capture.h"

namespace practice {

namespace {

// Checker squares and the shade of the lighter ones; the gradient darkens the
// colour from 100 % at the bottom to 60 % at the top.
constexpr int checker_square = 32;
constexpr int checker_lift = 24;
constexpr int gradient_top_256 = 154, gradient_span_256 = 102;

// The part of the game picture that lies on the desktop, in picture coordinates.
struct visible_part {
  int x0, y0, x1, y1;
  bool empty() const { return x0 >= x1 || y0 >= y1; }
};

visible_part visible(const desktop_layout& l) {
  return {std::max(0, -l.game_x), std::max(0, -l.game_y), std::min(game_width, l.width - l.game_x),
          std::min(game_height, l.height - l.game_y)};
}

uint8_t* row_of(std::vector<uint8_t>& rows, const desktop& d, int desktop_y) {
  return rows.data() + static_cast<std::size_t>(d.game.desktop.height - 1 - desktop_y) * d.stride;
}

// Writes the visible part of `area` (picture coordinates) of `picture`, or of
// the background, into the game's rows.
void draw_game_rows(desktop& d, const cv::Mat* picture,
                    const cv::Rect& area = {0, 0, game_width, game_height}) {
  const desktop_layout& l = d.game.desktop;
  visible_part v = visible(l);
  v = {std::max(v.x0, area.x), std::max(v.y0, area.y), std::min(v.x1, area.x + area.width),
       std::min(v.y1, area.y + area.height)};
  if (v.empty()) return;
  const std::size_t bytes = static_cast<std::size_t>(v.x1 - v.x0) * 3;
  for (int y = v.y0; y < v.y1; ++y) {
    uint8_t* to = row_of(d.pixels, d, l.game_y + y) + static_cast<std::size_t>(l.game_x + v.x0) * 3;
    const uint8_t* from = picture ? picture->ptr<uint8_t>(y) + static_cast<std::size_t>(v.x0) * 3
                                  : row_of(d.background, d, l.game_y + y) +
                                        static_cast<std::size_t>(l.game_x + v.x0) * 3;
    std::memcpy(to, from, bytes);
  }
}

game_view without_ball(game_view v) {
  v.ball = {};
  return v;
}

// True when `next` differs from `shown` in its flying ball alone, on a versus
// view without pixel noise (noise covers every pixel, so it rules this out).
bool only_the_ball_moves(const game_view& shown, const game_view& next) {
  return next.screen == game_screen::versus && next.noise_amplitude == 0 &&
         shown.noise_amplitude == 0 && without_ball(shown) == without_ball(next);
}

// Redraws the pixels the old and the new ball cover: the picture without the
// ball there, then the new ball over it.
void move_ball(desktop& d, const game_view& next) {
  const game_view ballless = without_ball(next);
  if (d.ballless_view != ballless) {
    render_game(ballless, d.layers, d.ballless_picture);
    d.ballless_view = ballless;
  }
  const cv::Rect old_area = ball_area(*d.shown, d.picture.size());
  const cv::Rect new_area = ball_area(next, d.picture.size());
  for (const cv::Rect& area : {old_area, new_area}) {
    if (!area.empty()) d.ballless_picture(area).copyTo(d.picture(area));
  }
  draw_flying_ball(next, d.picture);
  for (const cv::Rect& area : {old_area, new_area}) {
    if (!area.empty()) draw_game_rows(d, &d.picture, area);
  }
}

}  // namespace

void paint_background(const desktop_layout& l, int stride, std::vector<uint8_t>& rows) {
  rows.assign(static_cast<std::size_t>(stride) * l.height, 0);
  for (int y = 0; y < l.height; ++y) {
    uint8_t* row = rows.data() + static_cast<std::size_t>(l.height - 1 - y) * stride;
    for (int x = 0; x < l.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        int v = l.background[c];
        if (l.pattern == background_pattern::gradient)
          v = v * (gradient_top_256 + gradient_span_256 * y / std::max(1, l.height - 1)) / 256;
        if (l.pattern == background_pattern::checker &&
            (x / checker_square + y / checker_square) % 2 == 1)
          v = std::min(255, v + checker_lift);
        row[x * 3 + c] = static_cast<uint8_t>(v);
      }
    }
  }
}

desktop make_desktop(scenario game) {
  desktop d;
  d.game = std::move(game);
  if (d.game.starts.size() != d.game.steps.size()) finish_scenario(d.game);
  d.stride = pitchlog::bmp_stride(d.game.desktop.width);
  paint_background(d.game.desktop, d.stride, d.background);
  d.pixels = d.background;
  return d;
}

bool grab_desktop(desktop& d, pitchlog::screen_grab& grab) {
  if (d.now_ms >= d.game.end_ms) return false;
  const std::optional<game_view> view = view_at(d.game, d.now_ms);
  if (view != d.shown) {
    if (view && d.shown && only_the_ball_moves(*d.shown, *view)) {
      move_ball(d, *view);
    } else if (view) {
      render_game(*view, d.layers, d.picture);
      draw_game_rows(d, &d.picture);
    } else {
      draw_game_rows(d, nullptr);
    }
    d.shown = view;
  }
  grab.width = d.game.desktop.width;
  grab.height = d.game.desktop.height;
  grab.pixels = d.pixels.data();
  d.now_ms += d.capture_cost_ms;
  ++d.grabs;
  return true;
}

void pause_desktop(desktop& d, int milliseconds) {
  d.now_ms += std::max(0, milliseconds);
}

void connect_platform(desktop& d, pitchlog::platform& p) {
  p.source.grab = [&d](pitchlog::screen_grab& grab) { return grab_desktop(d, grab); };
  p.source.pause = [&d](int milliseconds) { pause_desktop(d, milliseconds); };
  p.now_us = [&d] { return d.now_ms * 1000; };
  p.time_text = [](int64_t us) { return pitchlog::video_time_text(us / 1000); };
}

}  // namespace practice
