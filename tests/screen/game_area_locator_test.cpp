#include "screen/game_area_locator.h"

#include "control/main_loop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "screen/synthetic_game.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
using synthetic::fake_desktop;

const cv::Size game_size(synthetic::game_width, synthetic::game_height);

TEST(game_area_locator, window_and_origin_from_the_coarse_hit) {
  struct row {
    cv::Point hit;
    cv::Size capture;
    cv::Rect window;
  } rows[] = {
      {{0, 0}, {1920, 1080}, {0, 0, 720, 480}},           // game at the corner: one score
      {{100, 50}, {1920, 1080}, {180, 90, 760, 500}},     // 1.8 to 2.2 times the hit
      {{101, 0}, {1920, 1080}, {181, 0, 760, 480}},       // trunc(181.8), trunc(40.4 + W)
      {{600, 300}, {1920, 1080}, {1080, 540, 840, 540}},  // past the edge: up to the edge
      {{700, 10}, {1921, 1081}, {1260, 18, 661, 484}},
      {{323, 144}, {1366, 768}, {581, 259, 785, 509}},  // to the last column and row
      {{500, 0}, {1000, 480}, {900, 0, 100, 480}},      // narrower than the game picture
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.hit << " in " << r.capture);
    EXPECT_EQ(refinement_window(r.hit, r.capture, game_size), r.window) << r.hit;
  }
  EXPECT_EQ(locked_origin({101, 0}, {5, 0}), cv::Point(186, 0));  // trunc(186.8)
  EXPECT_EQ(locked_origin({100, 50}, {19, 11}), cv::Point(199, 101));
}

struct locator_run {
  test_support::scoped_work_dir dir;
  template_set templates = synthetic::make_templates();
  fake_desktop desk;
  platform p = desk.make_platform();
  watcher w;
  locator_run() { w.templates = templates; }

  cv::Mat game_at(cv::Size desktop, cv::Point origin, std::vector<template_id> shown = {}) {
    return synthetic::desktop(desktop, origin,
                              synthetic::game_picture(templates, {.shown = std::move(shown)}));
  }
  cv::Mat empty_desktop(cv::Size desktop) { return synthetic::desktop(desktop, {}, cv::Mat()); }
  // A locating stage as the main loop runs it: the attempts, then the lock taken.
  locate_outcome locate() {
    const lock_result lock = locate_game_area(p, w.templates, w.locator);
    if (lock.outcome == locate_outcome::locked) take_lock(w, lock);
    return lock.outcome;
  }
};

TEST(game_area_locator, finds_the_game_anywhere_on_the_desktop) {
  // Each desktop with its half-size copy: trunc(width / 2), trunc(height / 2).
  const std::pair<cv::Size, cv::Size> desktops[] = {
      {{1920, 1080}, {960, 540}}, {{1366, 768}, {683, 384}}, {{1921, 1081}, {960, 540}}};
  for (const auto& [desktop, half] : desktops) {
    const int right = desktop.width - game_size.width;
    const int bottom = desktop.height - game_size.height;
    for (const cv::Point origin : {cv::Point(0, 0), cv::Point(right, 0), cv::Point(0, bottom),
                                   cv::Point(right, bottom), cv::Point(401, 233)}) {
      SCOPED_TRACE(testing::Message() << desktop << " at " << origin);
      locator_run run;
      run.desk.add(run.game_at(desktop, origin), 3);  // coarse, refinement, play-ball wait
      ASSERT_EQ(run.locate(), locate_outcome::locked);
      EXPECT_EQ(run.w.locator.game_origin, origin);
      EXPECT_EQ(run.desk.grabs, 3);
      EXPECT_EQ(cv::imread(half_capture_file_name).size(), half);
    }
  }
}

TEST(game_area_locator, misses_count_up_to_fifty_and_empty_the_record_at_the_lock) {
  const cv::Size desktop(800, 600);
  struct row {
    int misses;
    bool emptied;
  } rows[] = {{49, false}, {51, true}};
  for (const row& r : rows) {
    SCOPED_TRACE(r.misses);
    locator_run run;
    count_pitcher_pitch(run.w.record, team::batting_first, 1, 0);
    record_pitch(run.w.record, team::batting_first, pitch_type::fork, 1, 0);
    run.w.trigger.burst_count = 3;
    run.w.scene = {.scene_miss_count = 4, .count_checked = true, .first_pitch_flag = true};
    run.desk.add(run.empty_desktop(desktop), r.misses);
    run.desk.add(run.game_at(desktop, {40, 60}), 3);
    ASSERT_EQ(run.locate(), locate_outcome::locked);
    EXPECT_EQ(run.w.locator.locator_miss_count, 0);
    EXPECT_EQ(run.w.record.teams[0].pitchers[0].pitch_count, r.emptied ? 0 : 1);
    EXPECT_EQ(run.w.trigger.burst_count, r.emptied ? 0 : 3);
    EXPECT_EQ(run.w.scene.scene_miss_count, r.emptied ? 0 : 4);
    EXPECT_EQ(run.w.scene.count_checked, !r.emptied);
    EXPECT_TRUE(run.w.scene.first_pitch_flag);  // never touched by the reset
  }
}

TEST(game_area_locator, counts_coarse_misses_only) {
  const cv::Size desktop(800, 600);
  struct row {
    const char* what;
    int start;
    int end;
    std::function<void(locator_run&)> screens;
  } rows[] = {
      {"a coarse miss", 7, 8, [&](locator_run& r) { r.desk.add(r.empty_desktop(desktop)); }},
      {"saturates at fifty", 48, 50,
       [&](locator_run& r) { r.desk.add(r.empty_desktop(desktop), 3); }},
      {"a failed refinement", 7, 7,
       [&](locator_run& r) {
         r.desk.add(r.game_at(desktop, {40, 60}));
         r.desk.add(r.empty_desktop(desktop));
       }},
      {"a refinement window narrower than the game picture", 7, 7,
       [&](locator_run& r) {
         r.desk.add(r.game_at({1280, 800}, {500, 100}));
         r.desk.add(r.game_at(desktop, {40, 60}));  // the screen shrank meanwhile
       }},
      {"a refinement capture that cannot be loaded", 7, 7,
       [&](locator_run& r) {
         r.desk.add(r.game_at(desktop, {40, 60}));
       }},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    locator_run run;
    run.w.locator.locator_miss_count = r.start;
    r.screens(run);
    // Once the screens run out, the first capture of an attempt fails.
    EXPECT_EQ(run.locate(), locate_outcome::capture_failed);
    EXPECT_EQ(run.w.locator.locator_miss_count, r.end);
  }
}

// A capture.bmp that cannot be written for a while (another program holding
// it open) makes each capture grab again after its pause, said on the error
// stream once that has lasted sixteen captures; the game is then found as ever.
TEST(game_area_locator, capture_file_held_for_a_while_is_grabbed_again) {
  const struct {
    int held;  // captures whose file cannot be written
    int error_lines;
  } rows[] = {{2, 0}, {unwritten_captures_said, 1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.held);
    locator_run run;
    std::ostringstream error;
    run.p.error = &error;
    std::filesystem::create_directory(capture_file_name);
    const auto grab = run.p.source.grab;
    run.p.source.grab = [&](screen_grab& g) {
      if (run.desk.grabs == r.held) std::filesystem::remove(capture_file_name);
      return grab(g);
    };
    run.desk.add(run.game_at({800, 600}, {40, 60}), r.held + 3);
    ASSERT_EQ(run.locate(), locate_outcome::locked);
    EXPECT_EQ(run.w.locator.game_origin, cv::Point(40, 60));
    EXPECT_EQ(run.desk.pauses, std::vector<int>(r.held + 3, capture_pause_ms));
    EXPECT_EQ(test_support::count_of(error.str(), "\n"), r.error_lines) << error.str();
  }
}

TEST(game_area_locator, waits_out_the_play_ball_screen) {
  locator_run run;
  const cv::Size desktop(1024, 640);
  const cv::Point origin(150, 90);
  const cv::Mat play_ball = run.game_at(desktop, origin, {template_id::play_ball});
  run.desk.add(play_ball, 4);  // coarse, refinement, two waits
  run.desk.add(run.game_at(desktop, origin));
  run.desk.add(play_ball);  // left for the scene loop
  ASSERT_EQ(run.locate(), locate_outcome::locked);
  EXPECT_EQ(run.w.locator.game_origin, origin);
  EXPECT_EQ(run.desk.grabs, 5);
  EXPECT_EQ(run.desk.screens.size(), 1u);
}

TEST(game_area_locator, makes_work_images_only_while_no_burst_was_taken) {
  locator_run run;
  const cv::Size desktop(900, 600);
  run.desk.add(run.game_at(desktop, {10, 20}), 3);
  ASSERT_EQ(run.locate(), locate_outcome::locked);
  const cv::Mat first = run.w.ball.work.ycrcb_image;
  EXPECT_EQ(first.size(), cv::Size(720, 302));
  EXPECT_EQ(first.type(), CV_8UC3);
  EXPECT_EQ(run.w.ball.work.luma_plane.type(), CV_8UC1);

  // A second lock with no burst yet: a new set replaces the old one.
  run.desk.add(run.game_at(desktop, {30, 40}), 3);
  ASSERT_EQ(run.locate(), locate_outcome::locked);
  EXPECT_NE(run.w.ball.work.ycrcb_image.data, first.data);
  EXPECT_EQ(first.u->refcount, 1);  // only this test still holds the old one
  EXPECT_EQ(run.w.ball.work.ycrcb_image.size(), cv::Size(720, 302));

  // After a burst the set stays as it is.
  const cv::Mat second = run.w.ball.work.ycrcb_image;
  run.w.trigger.burst_count = 1;
  run.desk.add(run.game_at(desktop, {50, 60}), 3);
  ASSERT_EQ(run.locate(), locate_outcome::locked);
  EXPECT_EQ(run.w.ball.work.ycrcb_image.data, second.data);
}

}  // namespace

// A recording at another size than the pictures were cut from: the game
// picture resized by each scale, on a desktop of its own; none on an empty one.
TEST(game_area_locator, finds_the_scale_a_recording_shows_the_game_at) {
  const template_set templates = synthetic::make_templates();
  const cv::Mat game = synthetic::game_picture(templates, {});
  for (const double scale : {0.5, 0.67, 1.0, 1.5, 2.0}) {
    SCOPED_TRACE(scale);
    cv::Mat shown;
    cv::resize(game, shown, {}, scale, scale, scale < 1 ? cv::INTER_AREA : cv::INTER_CUBIC);
    const cv::Size desktop(shown.cols + 151, shown.rows + 77);
    const double found = find_game_scale(synthetic::desktop(desktop, {101, 40}, shown),
                                         templates[template_id::game_area]);
    EXPECT_NEAR(found, scale, 0.01 * scale);
  }
  EXPECT_EQ(find_game_scale(synthetic::desktop({1280, 720}, {}, cv::Mat()),
                            templates[template_id::game_area]),
            0.0);
}
