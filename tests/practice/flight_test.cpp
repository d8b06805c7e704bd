#include "practice/flight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "practice/renderer.h"
#include "practice/scenario.h"

namespace {

using namespace practice;
using pitchlog::pitch_type;

constexpr pitch_type all_types[] = {pitch_type::straight, pitch_type::curve, pitch_type::fork,
                                    pitch_type::shoot};
constexpr hand both_hands[] = {hand::right, hand::left};

// pitchlog captures every 60 ms plus the cost of a capture; a burst's frame k
// is taken k periods after the capture that saw the finish pose, which itself
// comes up to one period after the pose appeared.
constexpr int periods[] = {60, 68, 80, 100};

std::vector<int> burst_times(int period, int phase) {
  std::vector<int> t;
  for (int k = 1; k <= 11; ++k) t.push_back(phase + k * period);
  return t;
}

// ---------------------------------------------------------------- geometry

TEST(flight, every_burst_sees_a_path_the_tracker_accepts_and_the_type_shows) {
  for (pitch_type type : all_types) {
    for (hand h : both_hands) {
      for (uint64_t seed = 0; seed < 300; ++seed) {
        const flight f = make_flight(type, h, seed);
        for (int period : periods) {
          for (int phase = 0; phase < period; phase += 7) {
            SCOPED_TRACE(::testing::Message()
                         << type_name(type) << " hand " << int(h) << " seed " << seed << " period "
                         << period << " phase " << phase);
            std::vector<ball_view> b;
            for (int t : burst_times(period, phase)) b.push_back(ball_at(f, t));
            for (std::size_t k = 0; k < b.size(); ++k) {
              ASSERT_TRUE(b[k].visible);
              ASSERT_GE(b[k].radius, 6.0f);
              ASSERT_LE(b[k].radius, 13.0f);
              ASSERT_GE(b[k].y - b[k].radius, ball_area_top);
              ASSERT_LE(b[k].y + b[k].radius, ball_area_top + ball_area_height - 1);
              ASSERT_EQ(b[k].x - std::floor(b[k].x), 0.5f) << "centred on a pixel";
              // Clear of the two points the tracker ignores.
              for (float mx : marker_x) ASSERT_GT(std::hypot(b[k].x - mx, b[k].y - marker_y), 3.0f);
              if (k == 0) continue;
              ASSERT_LE(std::fabs(b[k].x - b[k - 1].x), 40.0f);
              ASSERT_GE(b[k].y + 2.0f, b[k - 1].y);
              ASSERT_LE(b[k].y - b[0].y, 80.0f);
            }
            const float dx = b[10].x - b[0].x, dy = b[10].y - b[0].y;
            const float toward_curve = h == hand::right ? dx : -dx;
            switch (type) {
              case pitch_type::straight:
                ASSERT_EQ(dx, 0.0f);
                ASSERT_EQ(dy, 0.0f);
                break;
              case pitch_type::fork:
                ASSERT_LE(std::fabs(dx), 1.0f);
                ASSERT_GE(dy, 20.0f);
                ASSERT_LE(dy, 70.0f);
                break;
              case pitch_type::curve:
                ASSERT_GE(toward_curve, 4.0f);
                break;
              case pitch_type::shoot:
                ASSERT_LE(toward_curve, -4.0f);
                break;
            }
          }
        }
      }
    }
  }
}

// ---------------------------------------------------------------- pixels

// The ball search: the first pass, then the rest of the cascade in order.
struct hough_pass {
  int plane;  // 0 Y, 1 Cr, 2 Cb
  int threshold, min_radius, max_radius;
};
constexpr int Y = 0, Cr = 1, Cb = 2;
constexpr hough_pass cascade[] = {
    {Y, 45, 6, 13},  {Cb, 54, 8, 13}, {Cb, 44, 9, 13}, {Cr, 52, 6, 14}, {Cr, 38, 9, 12},
    {Cr, 40, 7, 10}, {Y, 42, 7, 14},  {Cr, 47, 7, 13}, {Cr, 39, 9, 13}, {Cr, 40, 8, 12},
    {Y, 25, 8, 10},  {Cb, 44, 5, 13}, {Y, 31, 6, 10},  {Cb, 30, 7, 9},  {Cb, 26, 7, 9},
    {Y, 24, 7, 9},   {Y, 34, 5, 11},  {Cb, 34, 6, 11}, {Cb, 39, 5, 12}, {Cb, 30, 5, 11},
    {Y, 27, 6, 9},   {Cb, 23, 6, 9},  {Cb, 21, 7, 9},
};

// The centre found in the search rows (region coordinates), x == 0 for none.
cv::Point2f find_ball(const cv::Mat& picture) {
  cv::Mat ycrcb;
  cv::cvtColor(picture.rowRange(ball_area_top, ball_area_top + ball_area_height), ycrcb,
               cv::COLOR_BGR2YCrCb);
  cv::Mat planes[3];
  cv::split(ycrcb, planes);
  for (const hough_pass& pass : cascade) {
    std::vector<cv::Vec3f> circles;
    cv::HoughCircles(planes[pass.plane], circles, cv::HOUGH_GRADIENT, 1, 250, 3, pass.threshold,
                     pass.min_radius, pass.max_radius);
    if (!circles.empty()) return {circles.back()[0], circles.back()[1]};
  }
  return {0, 0};
}

// Pitches of every type for both hands in a row, so that the views come from
// the timeline exactly as the game shows them.
scenario pitches_of_every_kind() {
  scenario s;
  uint64_t seed = 1000;
  for (pitch_type type : all_types) {
    for (hand h : both_hands) {
      step st;
      st.kind = step_kind::pitch;
      st.pitcher_hand = h;
      st.pitch.type = type;
      st.pitch.path = make_flight(type, h, seed++);
      s.steps.push_back(st);
    }
  }
  finish_scenario(s);
  return s;
}

TEST(flight, ball_search_finds_the_ball_in_every_burst_frame) {
  const scenario s = pitches_of_every_kind();
  const std::vector<truth_pitch> truth = truth_of(s);
  render_cache layers;
  cv::Mat picture;
  int frames = 0;
  for (const truth_pitch& p : truth) {
    for (int period : periods) {
      for (int phase : {0, period / 2, period - 1}) {
        for (int t : burst_times(period, phase)) {
          const std::optional<game_view> v = view_at(s, p.time_ms + t);
          ASSERT_TRUE(v && v->ball.visible);
          render_game(*v, layers, picture);
          const cv::Point2f found = find_ball(picture);
          SCOPED_TRACE(::testing::Message() << "pitch " << p.n << " (" << type_name(p.type)
                                            << ") at " << t << " ms: drawn (" << v->ball.x << ", "
                                            << v->ball.y << ") r " << v->ball.radius << ", found ("
                                            << found.x << ", " << found.y + ball_area_top << ")");
          ASSERT_NE(found.x, 0.0f);
          EXPECT_LE(std::fabs(found.x - v->ball.x), 1.0f);
          EXPECT_LE(std::fabs(found.y + ball_area_top - v->ball.y), 1.0f);
          ++frames;
        }
      }
    }
  }
  EXPECT_EQ(frames, 8 * 4 * 3 * 11);
}

}  // namespace
