// The versus view against pitchlog's ball search: the 23-pass Hough cascade
// over the search rows finds nothing but the ball, and finds the ball at
// every radius along the paths a pitch takes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "practice/renderer.h"

namespace {

using practice::game_view;
using practice::hand;
using practice::pose;

enum plane { luma = 0, cr = 1, cb = 2 };  // channel of the YCrCb picture

struct hough_pass {
  plane on;
  int accumulator;
  int min_radius;
  int max_radius;
};

// clang-format off
const hough_pass cascade[23] = {
    {luma, 45, 6, 13}, {cb, 54, 8, 13}, {cb, 44, 9, 13},   {cr, 52, 6, 14},   {cr, 38, 9, 12},
    {cr, 40, 7, 10},   {luma, 42, 7, 14}, {cr, 47, 7, 13}, {cr, 39, 9, 13},   {cr, 40, 8, 12},
    {luma, 25, 8, 10}, {cb, 44, 5, 13}, {luma, 31, 6, 10}, {cb, 30, 7, 9},    {cb, 26, 7, 9},
    {luma, 24, 7, 9},  {luma, 34, 5, 11}, {cb, 34, 6, 11}, {cb, 39, 5, 12},   {cb, 30, 5, 11},
    {luma, 27, 6, 9},  {cb, 23, 6, 9},  {cb, 21, 7, 9},
};
// clang-format on

// Rows 177 to 478 of the 720 x 480 picture: y trunc(0.37 * 480), height trunc(0.63 * 480).
const cv::Rect search_region(0, 177, 720, 302);

struct search_result {
  int pass = 0;        // 1..23; 0 when no pass found a circle
  cv::Point2f centre;  // of the last circle of that pass, in game-picture pixels
};

search_result search_ball(const cv::Mat& picture) {
  cv::Mat ycrcb;
  cv::cvtColor(picture(search_region), ycrcb, cv::COLOR_BGR2YCrCb);
  cv::Mat planes[3];
  cv::split(ycrcb, planes);
  for (int i = 0; i < 23; ++i) {
    const hough_pass& p = cascade[i];
    std::vector<cv::Vec3f> circles;
    cv::HoughCircles(planes[p.on], circles, cv::HOUGH_GRADIENT, 1, 250, 3, p.accumulator,
                     p.min_radius, p.max_radius);
    if (!circles.empty()) {
      return {i + 1, {circles.back()[0], circles.back()[1] + search_region.y}};
    }
  }
  return {};
}

game_view versus(pose p, hand h) {
  game_view v;
  v.screen = practice::game_screen::versus;
  v.pitcher_pose = p;
  v.pitcher_hand = h;
  return v;
}

TEST(BallSearch, FindsNoCircleWithoutBall) {
  practice::render_cache cache;
  cv::Mat picture;
  for (pose p : {pose::set, pose::take_back, pose::finish}) {
    for (hand h : {hand::right, hand::left}) {
      for (int count : {0, 5, 11}) {
        game_view v = versus(p, h);
        v.balls = count % 4;
        v.strikes = count % 3;
        v.outs = count % 3;
        v.inning_half = count == 5 ? practice::half::bottom : practice::half::top;
        practice::render_game(v, cache, picture);
        const search_result found = search_ball(picture);
        EXPECT_EQ(found.pass, 0) << "pose " << int(p) << " hand " << int(h) << ": circle at "
                                 << found.centre << " in pass " << found.pass;
      }
    }
  }
}

// From the release point over the mound (x 350, search rows 20..40) down to
// the plate (search row 120), drifting up to 60 px sideways, at every radius
// and assorted sub-pixel positions; the ball is drawn on the half pixel
// nearest its centre and must be found within 1 px of the asked position.
TEST(BallSearch, FindsBallAtEveryRadiusAlongPitchPaths) {
  practice::render_cache cache;
  cv::Mat picture;
  int found_in_pass[24] = {};
  float worst_error = 0.0f;
  int n = 0;
  for (hand h : {hand::right, hand::left}) {
    for (int radius = 6; radius <= 13; ++radius) {
      for (int row = 20; row <= 120; row += 10) {
        const float half_width = 10.0f + 50.0f * (row - 20) / 100.0f;
        for (float dx = -half_width; dx <= half_width + 0.01f; dx += 10.0f, ++n) {
          game_view v = versus(pose::finish, h);
          v.ball = {true, 350.0f + dx + 0.25f * (n % 4), 177.0f + row + 0.3f * (n % 3),
                    static_cast<float>(radius)};
          practice::render_game(v, cache, picture);
          const search_result found = search_ball(picture);
          ++found_in_pass[found.pass];
          const float error =
              std::max(std::fabs(found.centre.x - v.ball.x), std::fabs(found.centre.y - v.ball.y));
          EXPECT_TRUE(found.pass > 0 && error <= 1.0f)
              << "radius " << radius << " at (" << v.ball.x << ", " << v.ball.y << ") hand "
              << int(h) << ": pass " << found.pass << " found " << found.centre;
          if (found.pass > 0) worst_error = std::max(worst_error, error);
        }
      }
    }
  }
  std::printf("%d balls, worst error %.2f px; found in pass:", n, worst_error);
  for (int p = 0; p <= 23; ++p) {
    if (found_in_pass[p]) std::printf(" %d:%d", p, found_in_pass[p]);
  }
  std::printf("\n");
}

// The two round markers stand where the tracker ignores a circle:
// search-region x 234.5..235.5 or exactly 317.5, y 78.5..79.5.
TEST(BallSearch, MarkersAreFoundOnlyAtIgnoredPositions) {
  practice::render_cache cache;
  cv::Mat picture;
  for (hand h : {hand::right, hand::left}) {
    game_view v = versus(pose::finish, h);
    v.ignored_point_markers = true;
    practice::render_game(v, cache, picture);
    const search_result found = search_ball(picture);
    ASSERT_GT(found.pass, 0);
    const float x = found.centre.x, y = found.centre.y - search_region.y;
    EXPECT_TRUE(((x >= 234.5f && x <= 235.5f) || x == 317.5f) && y >= 78.5f && y <= 79.5f)
        << "marker found at (" << x << ", " << y << ") in search-region pixels";
  }
}

}  // namespace
