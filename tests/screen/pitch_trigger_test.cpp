#include "screen/pitch_trigger.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "screen/synthetic_game.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(pitch_trigger, right_pose_first_left_only_on_a_miss) {
  struct row {
    double right;
    double left;
    bool seen;
    int checks_run;
  } rows[] = {
      {0.61, 0.9, true, 1}, {0.6, 0.6, false, 2}, {0.6, 0.61, true, 2},
      {nan, nan, false, 2}, {0.2, 0.1, false, 2},
  };
  for (const row& r : rows) {
    int run = 0;
    const bool seen = first_pose_hit([&](const template_check& c) {
      EXPECT_EQ(&c, &check_of(run == 0 ? check_id::finish_pose_right : check_id::finish_pose_left));
      return run++ == 0 ? r.right : r.left;
    });
    EXPECT_EQ(seen, r.seen) << r.right << ", " << r.left;
    EXPECT_EQ(run, r.checks_run) << r.right << ", " << r.left;
  }
}

// A burst on a fake desktop: the game at (20, 10) on 760 x 500.
struct burst_run {
  test_support::scoped_work_dir dir;
  template_set templates = synthetic::make_templates();
  synthetic::fake_desktop desk;
  platform p = desk.make_platform();
  cv::Point origin{20, 10};
  cv::Rect region = ball_search_region(origin, {synthetic::game_width, synthetic::game_height});
  trigger_state trigger{.burst_count = 4, .first_ball_position = {}};
  ball_state ball;
  frame_burst burst;
  cv::Mat trigger_frame = screen({template_id::versus_ground, template_id::finish_pose_right});

  burst_run() { make_ball_work_images(ball.work, region.size(), CV_8U); }
  cv::Mat screen(std::vector<template_id> shown, std::vector<cv::Point2d> balls = {}) const {
    return synthetic::desktop(
        {760, 500}, origin,
        synthetic::game_picture(templates, {.shown = std::move(shown), .balls = std::move(balls)}));
  }
  bool take() {
    return take_burst(p, trigger_frame, region, trigger, ball, burst) == burst_outcome::accepted;
  }
  bool all_released() const {
    bool released = burst.trigger_frame.empty() && trigger_frame.empty();
    for (const cv::Mat& f : burst.frames) released = released && f.empty();
    return released;
  }
};

TEST(pitch_trigger, burst_is_kept_when_frame_1_or_2_shows_the_ball) {
  const cv::Point2d at_1(200.5, 330.5);  // game-picture pixels
  const cv::Point2d at_2(420.5, 300.5);
  struct row {
    const char* what;
    std::optional<cv::Point2d> frame_1;
    std::optional<cv::Point2d> frame_2;
    std::optional<cv::Point2d> found;
  } rows[] = {
      {"both frames: frame 1 stands", at_1, at_2, at_1},
      {"frame 2 only", std::nullopt, at_2, at_2},
      {"frame 1 only", at_1, std::nullopt, at_1},
      {"no ball", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    burst_run run;
    auto balls = [](std::optional<cv::Point2d> b) {
      return b ? std::vector<cv::Point2d>{*b} : std::vector<cv::Point2d>{};
    };
    run.desk.add(run.screen({template_id::versus_ground}, balls(r.frame_1)));
    run.desk.add(run.screen({template_id::versus_ground}, balls(r.frame_2)));
    run.desk.add(run.screen({template_id::versus_ground}), 9);

    EXPECT_EQ(run.take(), r.found.has_value());
    EXPECT_EQ(run.trigger.burst_count, 5);
    // One zero-length yield, then the eleven captures' own pauses only.
    ASSERT_EQ(run.desk.pauses.size(), 12u);
    EXPECT_EQ(run.desk.pauses[0], 0);
    EXPECT_EQ(run.desk.grabs, burst_length);
    if (!r.found) {
      EXPECT_EQ(run.trigger.first_ball_position.x, 0.0f);
      EXPECT_TRUE(run.all_released());
      continue;
    }
    const float x = static_cast<float>(r.found->x);
    const float y = static_cast<float>(r.found->y - run.region.y + run.origin.y);
    EXPECT_NEAR(run.trigger.first_ball_position.x, x, 1.0f);
    EXPECT_NEAR(run.trigger.first_ball_position.y, y, 1.0f);
    EXPECT_FALSE(run.burst.trigger_frame.empty());
    for (const cv::Mat& f : run.burst.frames) EXPECT_FALSE(f.empty());
    // Frame 2 is not searched (so not marked) when frame 1 showed the ball.
    EXPECT_EQ(synthetic::marked_pixels(run.burst.frames[1]) > 0, !r.frame_1.has_value());
  }
}

TEST(pitch_trigger, a_frame_that_cannot_be_loaded_rejects_the_burst) {
  burst_run run;
  run.desk.add(run.screen({template_id::versus_ground}, {{200.5, 330.5}}), 5);
  EXPECT_FALSE(run.take());
  EXPECT_EQ(run.trigger.burst_count, 5);
  EXPECT_TRUE(run.all_released());
}

TEST(pitch_trigger, a_search_region_off_the_frame_finds_no_ball) {
  burst_run run;
  cv::Mat frame = run.screen({}, {{200.5, 330.5}});
  run.ball.position = {};
  search_ball(frame, cv::Rect(100, 300, 720, 302), run.ball);
  EXPECT_EQ(run.ball.position.x, 0.0f);
}

}  // namespace
