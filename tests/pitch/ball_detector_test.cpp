#include "pitch/ball_detector.h"

#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "pitch/pitch_helpers.h"
#include "support/library_circle_search.h"

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

// The cascade running the library's circle search, whose circles the tests of
// the cascade's marking and stopping compute independently.
ball_state library_ball_state() {
  ball_state ball = fresh_ball_state();
  ball.other_search = test_support::library_circle_search;
  return ball;
}

// The circles the first pass of the cascade finds in a region, straight from
// the library: the luma plane, threshold 45, radii 6 to 13.
std::vector<cv::Vec3f> first_pass_circles(const cv::Mat& region) {
  cv::Mat ycrcb;
  cv::cvtColor(region, ycrcb, cv::COLOR_BGR2YCrCb);
  cv::Mat luma;
  cv::extractChannel(ycrcb, luma, 0);
  std::vector<cv::Vec3f> circles;
  cv::HoughCircles(luma, circles, cv::HOUGH_GRADIENT, 1, 250, 3, 45, 6, 13);
  return circles;
}

bool same_pixels(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(BallSearchRegion, LowerPartOfTheGameAreaTruncated) {
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
    EXPECT_EQ(ball_search_region(r.origin, r.game), r.expected) << r.origin << " " << r.game;
  }
}

TEST(MarkBall, CentreAndRadiusRoundHalfToEven) {
  struct row {
    cv::Vec3f circle;
    cv::Point centre;
    int radius;
  };
  const row rows[] = {
      {{120.5f, 40.5f, 7.5f}, {120, 40}, 8},
      {{121.5f, 41.5f, 8.5f}, {122, 42}, 8},
      {{99.5f, 10.5f, 12.4f}, {100, 10}, 12},
      {{30.25f, 60.75f, 6.6f}, {30, 61}, 7},
  };
  for (const row& r : rows) {
    cv::Mat marked = smooth_ground({200, 100});
    cv::Mat expected = marked.clone();
    mark_ball(marked, r.circle);
    cv::circle(expected, r.centre, r.radius, cv::Scalar(0, 255, 0), 3, cv::LINE_8, 0);
    EXPECT_TRUE(same_pixels(marked, expected)) << r.circle;
  }
}

// Frames whose balls the first pass finds: the search ends there, so the frame
// carries exactly the first pass's marks (not the larger ball that only a
// later pass finds) and the last of its circles is kept.
TEST(DetectBall, FirstPassFindsTheBallsAndEndsTheSearch) {
  const cv::Point2d later_ball(650.5, 250.5);
  constexpr double later_radius = 14.0;
  cv::Mat alone = smooth_ground(region_size);
  draw_ball(alone, later_ball, later_radius);
  ASSERT_TRUE(first_pass_circles(alone).empty());
  ball_state later = library_ball_state();
  detect_ball(alone, later);
  ASSERT_NE(later.position.x, 0.0f) << "a later pass finds the larger ball";

  struct row {
    const char* name;
    std::vector<cv::Point2d> balls;
    size_t circles;
  };
  const row rows[] = {
      {"one ball", {{300.5, 150.5}}, 1},
      {"ball near the corner", {{20.5, 15.5}}, 1},
      {"two balls far apart", {{150.5, 150.5}, {450.5, 60.5}}, 2},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    cv::Mat region = smooth_ground(region_size);
    draw_ball(region, later_ball, later_radius);
    for (const cv::Point2d& centre : r.balls) draw_ball(region, centre, found_radius);
    const std::vector<cv::Vec3f> circles = first_pass_circles(region);
    ASSERT_EQ(circles.size(), r.circles);

    cv::Mat expected = region.clone();
    for (const cv::Vec3f& circle : circles) mark_ball(expected, circle);
    ball_state ball = library_ball_state();
    EXPECT_EQ(detect_ball(region, ball), 1);

    EXPECT_EQ(ball.position.x, circles.back()[0]);
    EXPECT_EQ(ball.position.y, circles.back()[1]);
    EXPECT_TRUE(same_pixels(region, expected));
  }
}

TEST(DetectBall, EmptyGroundRunsEveryPassAndFindsNothing) {
  cv::Mat region = smooth_ground(region_size);
  const cv::Mat original = region.clone();
  ball_state ball = fresh_ball_state();
  detect_ball(region, ball);
  EXPECT_EQ(ball.position.x, 0.0f);
  EXPECT_EQ(ball.position.y, 0.0f);
  EXPECT_TRUE(same_pixels(region, original));
}

TEST(DetectBall, PositionAlreadyFoundSkipsTheSearch) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const ball_position entries[] = {{5.5f, 7.5f}, {-3.5f, 0.0f}, {nan, 2.5f}};
  for (const ball_position& entry : entries) {
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
TEST(DetectBall, CoordinatesAreRelativeToTheRegion) {
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
    const std::vector<cv::Vec3f> circles = first_pass_circles(frame(region_rect));
    ASSERT_EQ(circles.size(), 1u) << origin;
    cv::Mat expected = frame.clone();
    cv::Mat expected_view = expected(region_rect);
    mark_ball(expected_view, circles[0]);

    ball_state ball = library_ball_state();
    detect_ball(frame(region_rect), ball);
    EXPECT_EQ(ball.position.x, 100.5f) << origin;
    EXPECT_EQ(ball.position.y, 30.5f) << origin;
    EXPECT_TRUE(same_pixels(frame, expected)) << origin;
  }
}

// Views the work images do not fit are frames without a ball: nothing is
// converted, searched or drawn and the position stays (0, 0).
TEST(DetectBall, ViewsTheWorkImagesDoNotFitHaveNoBall) {
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
TEST(DetectBall, ReusesTheWorkImages) {
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
