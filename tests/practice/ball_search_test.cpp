// The practice game's pitch views against pitchlog's ball search: the cascade
// over the search rows finds nothing where no ball is drawn, finds every drawn
// ball within a pixel of where it was drawn, at every radius along the paths
// a pitch takes and in every burst frame of a thrown pitch, and finds the two
// round markers only at the points the tracker ignores.
#include <cmath>
#include <optional>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include "pitch/ball_detector.h"
#include "practice/flight.h"
#include "practice/renderer.h"
#include "practice/scenario.h"

namespace {

using practice::game_view;
using practice::hand;
using practice::pose;

// The search region of the 720 x 480 picture at (0, 0): rows 177 to 478,
// y trunc(0.37 * 480), height trunc(0.63 * 480).
const cv::Rect search_region(0, 177, 720, 302);

// pitchlog's search on the rendered picture: the centre in picture pixels,
// or nothing when no pass found a circle.
std::optional<cv::Point2f> find_ball(cv::Mat& picture) {
  pitchlog::ball_state ball;
  pitchlog::make_ball_work_images(ball.work, search_region.size(), CV_8U);
  pitchlog::search_ball(picture, search_region, ball);
  if (ball.position.x == 0.0f) return std::nullopt;
  return cv::Point2f(ball.position.x, ball.position.y + search_region.y);
}

game_view versus(pose p, hand h) {
  game_view v;
  v.screen = practice::game_screen::versus;
  v.pitcher_pose = p;
  v.pitcher_hand = h;
  return v;
}

TEST(ball_search, finds_no_circle_without_a_ball) {
  practice::render_cache cache;
  cv::Mat picture;
  for (pose p : {pose::set, pose::take_back, pose::finish}) {
    for (hand h : {hand::right, hand::left}) {
      for (int count : {0, 5, 11}) {
        SCOPED_TRACE(testing::Message()
                     << "pose " << int(p) << " hand " << int(h) << " count " << count);
        game_view v = versus(p, h);
        v.balls = count % 4;
        v.strikes = count % 3;
        v.outs = count % 3;
        v.inning_half = count == 5 ? practice::half::bottom : practice::half::top;
        practice::render_game(v, cache, picture);
        const std::optional<cv::Point2f> found = find_ball(picture);
        EXPECT_FALSE(found) << "circle at " << *found;
      }
    }
  }
}

// From the release point over the mound (x 350, search row 20) down to the
// plate (search row 120), drifting up to 60 px sideways, at every radius and
// assorted sub-pixel positions, the two hands' poses taking turns; the ball
// must be found within 1 px of where it was drawn.
TEST(ball_search, finds_the_ball_at_every_radius_along_pitch_paths) {
  practice::render_cache cache;
  cv::Mat picture;
  int n = 0;
  for (int radius = 6; radius <= 13; ++radius) {
    for (int row = 20; row <= 120; row += 20) {
      const float half_width = 10.0f + 50.0f * (row - 20) / 100.0f;
      for (float dx = -half_width; dx <= half_width + 0.01f; dx += 20.0f, ++n) {
        const hand h = n % 2 == 0 ? hand::right : hand::left;
        game_view v = versus(pose::finish, h);
        v.ball = {true, 350.0f + dx + 0.25f * (n % 4), 177.0f + row + 0.3f * (n % 3),
                  static_cast<float>(radius)};
        SCOPED_TRACE(testing::Message() << "radius " << radius << " drawn at (" << v.ball.x << ", "
                                        << v.ball.y << ") hand " << int(h));
        practice::render_game(v, cache, picture);
        const std::optional<cv::Point2f> found = find_ball(picture);
        ASSERT_TRUE(found);
        EXPECT_LE(std::fabs(found->x - v.ball.x), 1.0f) << *found;
        EXPECT_LE(std::fabs(found->y - v.ball.y), 1.0f) << *found;
      }
    }
  }
  EXPECT_EQ(n, 8 * 27);
}

// Pitches of every type for both hands in a row, so that the views come from
// the timeline exactly as the game shows them.
practice::scenario pitches_of_every_kind() {
  practice::scenario s;
  uint64_t seed = 1000;
  for (pitchlog::pitch_type type : {pitchlog::pitch_type::straight, pitchlog::pitch_type::curve,
                                    pitchlog::pitch_type::fork, pitchlog::pitch_type::shoot}) {
    for (hand h : {hand::right, hand::left}) {
      practice::step st;
      st.kind = practice::step_kind::pitch;
      st.pitcher_hand = h;
      st.pitch.type = type;
      st.pitch.path = practice::make_flight(type, h, seed++);
      s.steps.push_back(st);
    }
  }
  practice::finish_scenario(s);
  return s;
}

// Every burst frame of every pitch, for capture periods of 60 to 100 ms and
// bursts that start early or late in the period: the ball is found within
// 1 px of where it was drawn.
TEST(ball_search, finds_the_ball_in_every_burst_frame) {
  const practice::scenario s = pitches_of_every_kind();
  practice::render_cache layers;
  cv::Mat picture;
  int frames = 0;
  for (const practice::truth_pitch& p : practice::truth_of(s)) {
    for (int period : {60, 100}) {
      for (int phase : {0, period - 1}) {
        for (int k = 1; k <= 11; ++k) {
          const int t = phase + k * period;
          const std::optional<game_view> v = practice::view_at(s, p.time_ms + t);
          ASSERT_TRUE(v && v->ball.visible);
          SCOPED_TRACE(testing::Message()
                       << "pitch " << p.n << " at " << t << " ms: drawn (" << v->ball.x << ", "
                       << v->ball.y << ") r " << v->ball.radius);
          practice::render_game(*v, layers, picture);
          const std::optional<cv::Point2f> found = find_ball(picture);
          ASSERT_TRUE(found);
          EXPECT_LE(std::fabs(found->x - v->ball.x), 1.0f) << *found;
          EXPECT_LE(std::fabs(found->y - v->ball.y), 1.0f) << *found;
          ++frames;
        }
      }
    }
  }
  EXPECT_EQ(frames, 8 * 2 * 2 * 11);
}

// The two round markers stand where the tracker ignores a circle:
// search-region x 234.5..235.5 or exactly 317.5, y 78.5..79.5.
TEST(ball_search, finds_the_markers_only_at_ignored_positions) {
  practice::render_cache cache;
  cv::Mat picture;
  for (hand h : {hand::right, hand::left}) {
    game_view v = versus(pose::finish, h);
    v.ignored_point_markers = true;
    practice::render_game(v, cache, picture);
    const std::optional<cv::Point2f> found = find_ball(picture);
    ASSERT_TRUE(found);
    const float x = found->x, y = found->y - search_region.y;
    EXPECT_TRUE(((x >= 234.5f && x <= 235.5f) || x == 317.5f) && y >= 78.5f && y <= 79.5f)
        << "marker found at (" << x << ", " << y << ") in search-region pixels";
  }
}

}  // namespace
