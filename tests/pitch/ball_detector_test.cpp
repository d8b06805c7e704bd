#include "pitch/ball_detector.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "pitch/pitch_helpers.h"

namespace pitchlog {
namespace {

using pitch_test::draw_ball;
using pitch_test::found_radius;
using pitch_test::marked_pixels;
using pitch_test::smooth_ground;

// The practice game's picture is 720 x 480; its search region is 720 x 302.
const cv::Size game_size(720, 480);
const cv::Size region_size = ball_search_region({0, 0}, game_size).size();

ball_state fresh_ball_state() {
  ball_state ball;
  make_ball_work_images(ball.work, region_size, CV_8U);
  return ball;
}

// Every pure green pixel of `image` lies on the mark of one of the drawn
// `balls` (OpenCV's 3 px ring reaches 2 px either side of the found radius,
// which is within a pixel of the drawn one, as is the rounded centre), and
// every one of them carries a mark.
void expect_marks_only_on(const cv::Mat& image, const std::vector<cv::Point2d>& balls) {
  std::vector<int> marks(balls.size(), 0);
  int stray = 0;
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      if (image.at<cv::Vec3b>(y, x) != cv::Vec3b(0, 255, 0)) continue;
      size_t on = balls.size();
      for (size_t i = 0; i < balls.size(); ++i) {
        if (std::fabs(std::hypot(x - balls[i].x, y - balls[i].y) - found_radius) <= 4.0) on = i;
      }
      on < balls.size() ? ++marks[on] : ++stray;
    }
  }
  EXPECT_EQ(stray, 0) << "green pixels off every drawn ball";
  for (size_t i = 0; i < balls.size(); ++i) EXPECT_GT(marks[i], 0) << "no mark on " << balls[i];
}

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(ball_search_region, lower_part_of_the_game_area_truncated) {
  struct row {
    cv::Point origin;
    cv::Size game;
    cv::Rect expected;
  };
  const row rows[] = {
      {{0, 0}, {720, 480}, {0, 177, 720, 302}},       // 177.6 and 302.4
      {{35, 3}, {720, 480}, {35, 180, 720, 302}},     // 180.6
      {{600, 400}, {640, 100}, {600, 437, 640, 63}},  // 437 and 63 exactly
      {{10, 20}, {101, 201}, {10, 94, 101, 126}},     // 94.37 and 126.63
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.origin << " " << r.game);
    EXPECT_EQ(ball_search_region(r.origin, r.game), r.expected) << r.origin << " " << r.game;
  }
}

// The mark is OpenCV's 3 px ring about the rounded centre, which reaches 2 px
// past the rounded radius on every side (cut at the picture's top edge).
TEST(mark_ball, centre_and_radius_round_half_to_even) {
  struct row {
    cv::Vec3f circle;
    cv::Rect span;  // of the green pixels
  };
  const row rows[] = {
      {{120.5f, 40.5f, 7.5f}, {110, 30, 21, 21}},  // centre (120, 40), radius 8
      {{121.5f, 41.5f, 8.5f}, {112, 32, 21, 21}},  // centre (122, 42), radius 8
      {{99.5f, 10.5f, 12.4f}, {86, 0, 29, 25}},    // centre (100, 10), radius 12
      {{30.25f, 60.75f, 6.6f}, {21, 52, 19, 19}},  // centre (30, 61), radius 7
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.circle);
    cv::Mat marked = smooth_ground({200, 100});
    mark_ball(marked, r.circle);
    cv::Mat green;
    cv::inRange(marked, cv::Scalar(0, 255, 0), cv::Scalar(0, 255, 0), green);
    EXPECT_EQ(cv::boundingRect(green), r.span) << r.circle;
  }
}

// Frames whose balls the first pass finds: the search ends there, so the frame
// carries exactly the first pass's marks (not the larger ball that only a
// later pass finds) and the last of its circles is kept.
TEST(detect_ball, the_first_pass_finds_the_balls_and_ends_the_search) {
  const cv::Point2d later_ball(650.5, 250.5);
  constexpr double later_radius = 14.0;
  cv::Mat alone = smooth_ground(region_size);
  draw_ball(alone, later_ball, later_radius);
  ball_state later = fresh_ball_state();
  detect_ball(alone, later);
  ASSERT_NE(later.position.x, 0.0f) << "a later pass finds the larger ball";
  EXPECT_LE(std::fabs(later.position.x - later_ball.x), 1.0);
  EXPECT_LE(std::fabs(later.position.y - later_ball.y), 1.0);

  struct row {
    const char* name;
    std::vector<cv::Point2d> balls;
  };
  const row rows[] = {
      {"one ball", {{300.5, 150.5}}},
      {"ball near the corner", {{20.5, 15.5}}},
      {"two balls far apart", {{150.5, 150.5}, {450.5, 60.5}}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    cv::Mat region = smooth_ground(region_size);
    draw_ball(region, later_ball, later_radius);
    for (const cv::Point2d& centre : r.balls) draw_ball(region, centre, found_radius);
    ball_state ball = fresh_ball_state();
    detect_ball(region, ball);

    // One of the balls the first pass finds, within a pixel of where it was
    // drawn; marks on each of them and none on the larger ball.
    int near = 0;
    for (const cv::Point2d& centre : r.balls)
      near += std::fabs(ball.position.x - centre.x) <= 1.0 &&
              std::fabs(ball.position.y - centre.y) <= 1.0;
    EXPECT_EQ(near, 1) << "(" << ball.position.x << ", " << ball.position.y << ")";
    expect_marks_only_on(region, r.balls);
  }
}

TEST(detect_ball, empty_ground_runs_every_pass_and_finds_nothing) {
  cv::Mat region = smooth_ground(region_size);
  const cv::Mat original = region.clone();
  ball_state ball = fresh_ball_state();
  detect_ball(region, ball);
  EXPECT_EQ(ball.position.x, 0.0f);
  EXPECT_EQ(ball.position.y, 0.0f);
  EXPECT_TRUE(same_pixels(region, original));
}

TEST(detect_ball, a_position_already_found_skips_the_search) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const ball_position entries[] = {{5.5f, 7.5f}, {-3.5f, 0.0f}, {nan, 2.5f}};
  for (const ball_position& entry : entries) {
    SCOPED_TRACE(entry.x);
    cv::Mat region = smooth_ground(region_size);
    draw_ball(region, {300.5, 150.5}, found_radius);
    const cv::Mat original = region.clone();
    ball_state ball = fresh_ball_state();
    ball.position = entry;
    detect_ball(region, ball);
    EXPECT_TRUE(same_pixels(region, original)) << entry.x;
    EXPECT_EQ(std::isnan(ball.position.x), std::isnan(entry.x));
    if (!std::isnan(entry.x)) {
      EXPECT_EQ(ball.position.x, entry.x);
    }
    EXPECT_EQ(ball.position.y, entry.y);
  }
}

// The same ball 100.5 px right of and 30.5 px below the region's corner reads
// the same wherever the region lies, and its mark lands there in the frame; a
// ball outside the region is not seen.
TEST(detect_ball, coordinates_are_relative_to_the_region) {
  const cv::Point origins[] = {{0, 0}, {601, 333}, {1200, 598}, {37, 11}};
  for (const cv::Point& origin : origins) {
    const cv::Rect region_rect = ball_search_region(origin, game_size);
    cv::Mat frame = smooth_ground({1920, 1080});
    frame(region_rect).setTo(cv::Scalar(60, 150, 70));
    draw_ball(frame, {region_rect.x + 100.5, region_rect.y + 30.5}, found_radius);
    const cv::Point2d outside =
        region_rect.x >= 400 ? cv::Point2d(200.5, region_rect.y + 100.5)
                             : cv::Point2d(region_rect.br().x + 200.5, region_rect.y + 100.5);
    draw_ball(frame, outside, found_radius);
    ball_state ball = fresh_ball_state();
    detect_ball(frame(region_rect), ball);
    EXPECT_EQ(ball.position.x, 100.5f) << origin;
    EXPECT_EQ(ball.position.y, 30.5f) << origin;
    // The mark lands on the ball in the region, none on the one outside.
    SCOPED_TRACE(testing::Message() << origin);
    expect_marks_only_on(frame, {{region_rect.x + 100.5, region_rect.y + 30.5}});
  }
}

// Views the work images do not fit are frames without a ball: nothing is
// converted, searched or drawn and the position stays (0, 0).
TEST(detect_ball, views_the_work_images_do_not_fit_have_no_ball) {
  cv::Mat frame = smooth_ground({1280, 720});
  draw_ball(frame, {1200.5, 600.5}, found_radius);
  cv::Mat four_channels;
  cv::cvtColor(frame, four_channels, cv::COLOR_BGR2BGRA);
  cv::Mat one_channel;
  cv::cvtColor(frame, one_channel, cv::COLOR_BGR2GRAY);
  // The search region of a game picture reaching past the frame's right edge,
  // clipped to the frame.
  const cv::Rect region = ball_search_region({600, 240}, game_size);
  const cv::Rect clipped = region & cv::Rect({}, frame.size());
  const cv::Rect fitting(560, 418, region_size.width, region_size.height);

  struct row {
    const char* name;
    cv::Mat view;
    bool work_images_made;
  };
  const row rows[] = {
      {"clipped at the frame's edge", frame(clipped), true},
      {"four channels", four_channels(fitting), true},
      {"one channel", one_channel(fitting), true},
      {"empty frame", cv::Mat(), true},
      {"work images not made", frame(fitting), false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_TRUE(r.view.empty() || r.view.size() != region_size || r.view.type() != CV_8UC3 ||
                !r.work_images_made);
    const cv::Mat original = r.view.clone();
    ball_state ball;
    if (r.work_images_made) ball = fresh_ball_state();
    detect_ball(r.view, ball);
    EXPECT_EQ(ball.position.x, 0.0f) << r.name;
    EXPECT_EQ(ball.position.y, 0.0f) << r.name;
    EXPECT_TRUE(original.empty() || same_pixels(r.view, original)) << r.name;
  }
}

// The search writes into the work images made at the lock, never into fresh
// ones, and the planes are the region's Y, Cr and Cb.
TEST(detect_ball, reuses_the_work_images) {
  ball_state ball = fresh_ball_state();
  const uchar* const buffers[] = {ball.work.ycrcb_image.data, ball.work.luma_plane.data,
                                  ball.work.cr_plane.data, ball.work.cb_plane.data};
  cv::Mat region = smooth_ground(region_size);
  draw_ball(region, {300.5, 150.5}, found_radius);
  cv::Mat ycrcb;
  cv::cvtColor(region, ycrcb, cv::COLOR_BGR2YCrCb);
  std::vector<cv::Mat> planes;
  cv::split(ycrcb, planes);

  detect_ball(region.clone(), ball);
  EXPECT_EQ(ball.work.ycrcb_image.data, buffers[0]);
  EXPECT_EQ(ball.work.luma_plane.data, buffers[1]);
  EXPECT_EQ(ball.work.cr_plane.data, buffers[2]);
  EXPECT_EQ(ball.work.cb_plane.data, buffers[3]);
  EXPECT_TRUE(same_pixels(ball.work.luma_plane, planes[0]));
  EXPECT_TRUE(same_pixels(ball.work.cr_plane, planes[1]));
  EXPECT_TRUE(same_pixels(ball.work.cb_plane, planes[2]));
}

}  // namespace
}  // namespace pitchlog
