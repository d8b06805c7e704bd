// The renderer itself: the cache, seeded noise, clipping, and that each
// changing part of the versus view stays inside its own region.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "practice/renderer.h"

namespace {

using practice::game_screen;
using practice::game_view;

game_view versus_view() {
  game_view v;
  v.screen = game_screen::versus;
  v.pitcher_name = "TANAKA";
  return v;
}

// The bounding box of the pixels in which two pictures differ (empty when equal).
cv::Rect changed_area(const cv::Mat& a, const cv::Mat& b) {
  cv::Mat diff, mask;
  cv::absdiff(a, b, diff);
  cv::cvtColor(diff, mask, cv::COLOR_BGR2GRAY);
  std::vector<cv::Point> points;
  cv::findNonZero(mask, points);
  return points.empty() ? cv::Rect() : cv::boundingRect(points);
}

// One cache reused over changing views draws exactly what a fresh render draws.
TEST(renderer, cached_frames_equal_fresh_ones) {
  practice::render_cache cache;
  cv::Mat cached, fresh;
  for (int i = 0; i < 40; ++i) {
    game_view v = versus_view();
    v.screen = static_cast<game_screen>(i % 3 == 0 ? i % practice::screen_count : 3);
    v.balls = i % 4;
    v.strikes = i % 3;
    v.pitcher_pose = static_cast<practice::pose>(i % 3);
    v.pitcher_hand = static_cast<practice::hand>((i / 3) % 2);
    v.inning_half = static_cast<practice::half>((i / 2) % 2);
    v.pitcher_name = i % 2 ? "SATO" : "WATANABE";
    v.ball = {i % 5 != 0, 300.0f + i, 200.0f + 2 * i, 6.0f + i % 8};
    v.noise_amplitude = i % 7 == 0 ? 2 : 0;
    v.noise_seed = static_cast<uint32_t>(i);
    practice::render_game(v, cache, cached);
    practice::render_game(v, fresh);
    ASSERT_EQ(cv::norm(cached, fresh, cv::NORM_INF), 0.0) << "frame " << i;
  }
}

TEST(renderer, noise_is_seeded_and_bounded) {
  game_view v = versus_view();
  cv::Mat clean, noisy, again, other;
  practice::render_game(v, clean);
  v.noise_amplitude = 3;
  v.noise_seed = 11;
  practice::render_game(v, noisy);
  practice::render_game(v, again);
  v.noise_seed = 12;
  practice::render_game(v, other);
  EXPECT_EQ(cv::norm(noisy, again, cv::NORM_INF), 0.0);
  EXPECT_GT(cv::norm(noisy, other, cv::NORM_INF), 0.0);
  EXPECT_LE(cv::norm(noisy, clean, cv::NORM_INF), 3.0);
  EXPECT_GT(cv::norm(noisy, clean, cv::NORM_L1), 0.5 * clean.total() * 3);
}

// What each change of the view may touch, and a region of another check it
// must leave alone.
struct change_case {
  const char* name;
  void (*change)(game_view&);
  cv::Rect inside;  // every changed pixel lies here
  cv::Rect apart;   // and none here
};

const change_case change_cases[] = {
    {"count",
     [](game_view& v) { v.balls = 3, v.strikes = 2, v.outs = 2; },
     {0, 0, 100, 130},
     {10, 70, 40, 80}},  // versus ground
    {"inning half",
     [](game_view& v) { v.inning_half = practice::half::bottom; },
     {60, 10, 80, 40},
     {0, 0, 60, 130}},  // lamps
    {"inning number", [](game_view& v) { v.inning = 12; }, {140, 0, 40, 60}, {60, 10, 80, 40}},
    {"long name",
     [](game_view& v) { v.pitcher_name = "KOBAYASHIYAMAMOTO"; },
     {545, 15, 90, 20},
     {550, 39, 130, 31}},  // hand sign template
    {"no hand sign",
     [](game_view& v) { v.show_hand_sign = false; },
     {550, 20, 130, 50},
     {545, 15, 90, 20}},  // name region
    {"finish pose",
     [](game_view& v) { v.pitcher_pose = practice::pose::finish; },
     {280, 140, 140, 120},
     {0, 0, 720, 140}},
    {"left hand",
     [](game_view& v) { v.pitcher_hand = practice::hand::left; },
     {280, 20, 400, 240},
     {545, 15, 90, 20}},
    {"markers",
     [](game_view& v) { v.ignored_point_markers = true; },
     {220, 240, 115, 32},
     {0, 0, 720, 177}},  // above the search rows
};

TEST(renderer, each_change_stays_in_its_region) {
  cv::Mat base, changed;
  practice::render_game(versus_view(), base);
  for (const change_case& c : change_cases) {
    game_view v = versus_view();
    c.change(v);
    practice::render_game(v, changed);
    const cv::Rect area = changed_area(base, changed);
    EXPECT_FALSE(area.empty()) << c.name;
    EXPECT_EQ(area & c.inside, area) << c.name << " changed " << area;
    EXPECT_TRUE((area & c.apart).empty()) << c.name << " changed " << area;
  }
}

// A ball half off the picture, or with a senseless position or radius, draws
// what fits and nothing else.
TEST(renderer, balls_off_the_picture_are_clipped) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const practice::ball_view balls[] = {
      {true, -5.0f, 300.0f, 12.0f},  {true, 719.6f, 479.9f, 13.0f}, {true, nan, 200.0f, 8.0f},
      {true, 350.0f, 200.0f, -3.0f}, {true, 1e12f, -1e12f, 9.0f},   {true, 350.0f, 200.0f, 1e9f},
  };
  cv::Mat base, picture;
  practice::render_game(versus_view(), base);
  for (const practice::ball_view& b : balls) {
    game_view v = versus_view();
    v.ball = b;
    practice::render_game(v, picture);
    ASSERT_EQ(picture.size(), base.size());
    const cv::Rect area = changed_area(base, picture);
    EXPECT_TRUE(area.empty() || area.area() <= 30 * 30) << b.x << "," << b.y << " r" << b.radius;
  }
}

}  // namespace
