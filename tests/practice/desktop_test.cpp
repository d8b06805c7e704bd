#include "practice/desktop.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "control/capture/screen_capture.h"
#include "support/test_support.h"

namespace {

using namespace practice;

// absent 300 | versus (set pose) 1000 | absent 300, on the desktop given.
scenario short_game(int width, int height, int game_x, int game_y) {
  std::string error;
  const std::string json = R"({"desktop": {"width": )" + std::to_string(width) + R"(, "height": )" +
                           std::to_string(height) + R"(, "game_x": )" + std::to_string(game_x) +
                           R"(, "game_y": )" + std::to_string(game_y) +
                           R"(, "background": [10, 20, 30], "pattern": "checker"},
       "timeline": [{"screen": "absent", "ms": 300},
                    {"screen": "versus", "ms": 1000, "pitcher": "AKAGI"},
                    {"screen": "absent", "ms": 300}]})";
  std::optional<scenario> s = parse_scenario(json, error);
  EXPECT_TRUE(s) << error;
  return s.value_or(scenario{});
}

// The desktop pixel (x, y) of a bottom-up grab, as blue, green, red.
cv::Vec3b pixel(const pitchlog::screen_grab& g, int x, int y) {
  const uint8_t* p =
      g.pixels + static_cast<std::size_t>(g.height - 1 - y) * pitchlog::bmp_stride(g.width) + x * 3;
  return {p[0], p[1], p[2]};
}

// The scenario's background: (10, 20, 30) in 32 px squares, every other one
// (counted from the top-left corner) lifted by 24.
cv::Vec3b background_at(int x, int y) {
  const uint8_t lift = (x / 32 + y / 32) % 2 == 1 ? 24 : 0;
  return {static_cast<uint8_t>(10 + lift), static_cast<uint8_t>(20 + lift),
          static_cast<uint8_t>(30 + lift)};
}

// Every desktop pixel is the game picture inside the game area and the
// background outside it.
void expect_desktop(const pitchlog::screen_grab& g, const desktop_layout& l, const cv::Mat* game) {
  int mismatches = 0;
  for (int y = 0; y < g.height; ++y) {
    for (int x = 0; x < g.width; ++x) {
      const int gx = x - l.game_x, gy = y - l.game_y;
      const bool in_game = game && gx >= 0 && gy >= 0 && gx < game_width && gy < game_height;
      const cv::Vec3b want = in_game ? game->at<cv::Vec3b>(gy, gx) : background_at(x, y);
      if (pixel(g, x, y) != want && ++mismatches <= 3)
        ADD_FAILURE() << "desktop pixel (" << x << ", " << y << ")";
    }
  }
  EXPECT_EQ(mismatches, 0);
}

struct placement {
  const char* name;
  int width, height, game_x, game_y;
};

TEST(desktop, shows_the_game_picture_at_its_place_clipped_at_the_edges) {
  const placement cases[] = {
      {"centred", 1920, 1080, 600, 300},
      {"laptop screen, game at the right edge", 1366, 768, 1366 - game_width, 100},
      {"partly off the right and bottom", 1366, 768, 1000, 500},
      {"partly off the left and top", 800, 600, -100, -50},
      {"odd width", 1001, 700, 3, 0},
      {"wholly off the desktop", 640, 480, 700, 0},
  };
  for (const placement& c : cases) {
    SCOPED_TRACE(c.name);
    desktop d = make_desktop(short_game(c.width, c.height, c.game_x, c.game_y));
    pitchlog::screen_grab g;
    ASSERT_TRUE(grab_desktop(d, g));  // absent
    EXPECT_EQ(g.width, c.width);
    EXPECT_EQ(g.height, c.height);
    expect_desktop(g, d.game.desktop, nullptr);

    pause_desktop(d, 400);
    ASSERT_TRUE(grab_desktop(d, g));  // the versus view
    cv::Mat game;
    render_game(*view_at(d.game, 408), game);
    expect_desktop(g, d.game.desktop, &game);

    pause_desktop(d, 1000);
    ASSERT_TRUE(grab_desktop(d, g));  // absent again: the background comes back
    expect_desktop(g, d.game.desktop, nullptr);
  }
}

TEST(desktop, runs_on_virtual_time_until_the_scenario_ends) {
  desktop d = make_desktop(short_game(1920, 1080, 600, 300));
  pitchlog::platform p;
  connect_platform(d, p);
  pitchlog::screen_grab g;
  ASSERT_TRUE(p.source.grab(g));
  EXPECT_EQ(d.now_ms, default_capture_cost_ms);
  p.source.pause(60);
  EXPECT_EQ(d.now_ms, default_capture_cost_ms + 60);
  p.source.pause(0);
  EXPECT_EQ(d.now_ms, default_capture_cost_ms + 60);
  d.capture_cost_ms = 25;
  ASSERT_TRUE(p.source.grab(g));
  EXPECT_EQ(d.now_ms, default_capture_cost_ms + 60 + 25);

  // The whole scenario is 1600 ms; once it is over no grab succeeds.
  while (p.source.grab(g)) p.source.pause(60);
  EXPECT_GE(d.now_ms, d.game.end_ms);
  EXPECT_LT(d.now_ms, d.game.end_ms + 25 + 60);
  EXPECT_FALSE(p.source.grab(g));

  // The defaults the desktop gives the rest of the platform do nothing harmful.
  p.show_image("src_img1", cv::Mat());
  p.wait_key();
  p.read_char();
}

TEST(desktop, feeds_pitchlogs_capture_with_the_game_upright) {
  test_support::scoped_work_dir dir;
  desktop d = make_desktop(short_game(1366, 768, 646, 200));
  pitchlog::platform p;
  connect_platform(d, p);
  pause_desktop(d, 500);
  const int64_t shown_at = d.now_ms;
  pitchlog::capture_screen(p);
  EXPECT_EQ(d.now_ms, shown_at + default_capture_cost_ms + pitchlog::capture_pause_ms);
  const cv::Mat capture = cv::imread(pitchlog::capture_file_name, cv::IMREAD_COLOR);
  ASSERT_EQ(capture.size(), cv::Size(1366, 768));
  cv::Mat game;
  render_game(*view_at(d.game, shown_at), game);
  EXPECT_EQ(cv::norm(capture(cv::Rect(646, 200, game_width, game_height)), game, cv::NORM_INF),
            0.0);
}

}  // namespace
