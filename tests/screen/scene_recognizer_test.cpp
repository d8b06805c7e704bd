#include "screen/scene_recognizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "screen/game_area_locator.h"
#include "screen/synthetic_game.h"

namespace {

using namespace pitchlog;
using synthetic::sign;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(scene_recognizer, first_hit_in_table_order_decides) {
  struct row {
    const char* what;
    std::array<double, 8> scores;
    scene expected;
    int checks_run;
  } rows[] = {
      {"nothing", {0, 0, 0, 0, 0, 0, 0, 0}, scene::unrecognised, 8},
      {"not a number", {nan, nan, nan, nan, nan, nan, nan, nan}, scene::unrecognised, 8},
      {"versus", {0.76, 0.9, 0, 0, 0, 0.9, 0, 0}, scene::versus_view, 1},
      {"versus at exactly 0.75 goes on", {0.75, 0.51, 0, 0, 0, 0, 0, 0}, scene::interlude, 2},
      {"field before title", {0, 0.6, 0, 0, 0, 0.6, 0, 0}, scene::interlude, 2},
      {"time out", {0, 0.5, 0.51, 0, 0, 0, 0, 0}, scene::interlude, 3},
      {"scoreboard", {0, 0, 0, 0.56, 0, 0, 0, 0}, scene::interlude, 4},
      {"scoreboard at exactly 0.55", {0, 0, 0, 0.55, 0, 0, 0, 0}, scene::unrecognised, 8},
      {"opponent's time-out wait", {0, 0, 0, 0, 0.76, 0, 0, 0}, scene::interlude, 5},
      {"title", {0, 0, 0, 0, 0.75, 0.51, 0, 0}, scene::game_over, 6},
      {"game set", {0, 0, 0, 0, 0, 0, 0.76, 0.9}, scene::game_over, 7},
      {"game set at exactly 0.75", {0, 0, 0, 0, 0, 0, 0.75, 0}, scene::unrecognised, 8},
      {"warning", {0, 0, 0, 0, 0, 0.5, 0, 0.751}, scene::game_over, 8},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    int run = 0;
    const scene s = first_scene_hit([&](const template_check& c) {
      EXPECT_EQ(&c, &scene_checks[run]) << r.what;
      return r.scores[run++];
    });
    EXPECT_EQ(s, r.expected) << r.what;
    EXPECT_EQ(run, r.checks_run) << r.what;
  }
}

TEST(scene_recognizer, count_flags_are_independent) {
  struct row {
    double no_ball_no_strike;
    double two_strikes;
    bool first_pitch;
    bool two_strike;
  } rows[] = {
      {0.95, 0.8, true, true},  {0.9, 0.75, false, false}, {0.91, 0.2, true, false},
      {0.1, 0.76, false, true}, {nan, nan, false, false},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.no_ball_no_strike << ", " << r.two_strikes);
    scene_state state{.first_pitch_flag = !r.first_pitch, .two_strike_flag = !r.two_strike};
    count_flags_from_scores(r.no_ball_no_strike, r.two_strikes, state);
    EXPECT_EQ(state.first_pitch_flag, r.first_pitch);
    EXPECT_EQ(state.two_strike_flag, r.two_strike);
  }
}

// A capture of 800 x 600 with the game picture at (40, 50).
struct scene_frames {
  template_set templates = synthetic::make_templates();
  cv::Point origin{40, 50};
  cv::Mat frame(std::vector<template_id> shown) const {
    return synthetic::desktop({800, 600}, origin,
                              synthetic::game_picture(templates, {.shown = std::move(shown)}));
  }
};

// A region that reaches past the capture is a miss even where the picture
// itself shows whole inside the capture (a clipped region would find it).
TEST(scene_recognizer, a_region_past_the_capture_is_a_miss) {
  const scene_frames f;
  // The game-set picture (game rows 315 to 344) shows whole, but its region
  // runs to game row 349 and the capture ends after game row 346.
  const cv::Mat game_set = synthetic::game_picture(f.templates, {.shown = {template_id::game_set}});
  cv::Mat capture(20 + 347, 700, CV_8UC3, cv::Scalar(30, 30, 30));
  game_set(cv::Rect(0, 0, 500, 347)).copyTo(capture(cv::Rect(200, 20, 500, 347)));
  EXPECT_EQ(recognize_scene(capture, f.templates, {200, 20}), scene::unrecognised);

  // The count picture (game columns 5 to 49) shows whole, but the game picture
  // starts 3 px left of the capture, and so does the panel's region.
  const cv::Mat count =
      synthetic::game_picture(f.templates, {.shown = {template_id::count_no_ball_no_strike}});
  cv::Mat shifted(300, 700, CV_8UC3, cv::Scalar(30, 30, 30));
  count(cv::Rect(3, 0, 500, 280)).copyTo(shifted(cv::Rect(0, 20, 500, 280)));
  scene_state state;
  read_count_panel(shifted, f.templates, {-3, 20}, state);
  EXPECT_FALSE(state.first_pitch_flag);
}

TEST(scene_recognizer, one_pass_acts_on_the_scene) {
  const scene_frames f;
  using id = template_id;
  const std::vector<id> versus = {id::versus_ground, id::count_no_ball_no_strike};
  struct row {
    const char* what;
    std::vector<id> shown;
    scene_state before;
    scene_action action;
    scene_state after;
  } rows[] = {
      {"versus reads the count",
       versus,
       {.scene_miss_count = 5},
       scene_action::keep_watching,
       {.scene_miss_count = 0, .count_checked = 1, .first_pitch_flag = 1}},
      {"both panels",
       {id::versus_ground, id::count_no_ball_no_strike, id::count_two_strikes},
       {},
       scene_action::keep_watching,
       {.count_checked = 1, .first_pitch_flag = 1, .two_strike_flag = 1}},
      {"count read once per pitch",
       {id::versus_ground, id::count_two_strikes},
       {.scene_miss_count = 2, .count_checked = 1, .first_pitch_flag = 1},
       scene_action::keep_watching,
       {.count_checked = 1, .first_pitch_flag = 1}},
      {"right-handed finish pose",
       {id::versus_ground, id::finish_pose_right},
       {.scene_miss_count = 2},
       scene_action::pitch_seen,
       {.scene_miss_count = 2, .count_checked = 1}},
      {"left-handed finish pose",
       {id::versus_ground, id::finish_pose_left},
       {.scene_miss_count = 2, .count_checked = 1},
       scene_action::pitch_seen,
       {.scene_miss_count = 2, .count_checked = 1}},
      {"pose without the versus view",
       {id::finish_pose_left},
       {},
       scene_action::keep_watching,
       {.scene_miss_count = 1}},
      {"interlude after nineteen misses",
       {id::scoreboard},
       {.scene_miss_count = 19},
       scene_action::keep_watching,
       {}},
      {"unrecognised",
       {},
       {.scene_miss_count = 18, .count_checked = 1},
       scene_action::keep_watching,
       {.scene_miss_count = 19, .count_checked = 1}},
      {"twentieth unrecognised",
       {},
       {.scene_miss_count = 19, .count_checked = 1},
       scene_action::give_up,
       {.scene_miss_count = 0, .count_checked = 1}},
      {"title",
       {id::title},
       {.scene_miss_count = 7, .count_checked = 1},
       scene_action::game_over,
       {.count_checked = 1}},
      {"game set", {id::game_set}, {}, scene_action::game_over, {}},
      {"warning", {id::warning}, {}, scene_action::game_over, {}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    scene_state state = r.before;
    const scene_outcome outcome = scene_pass(f.frame(r.shown), f.templates, f.origin, state);
    EXPECT_EQ(outcome.action, r.action);
    EXPECT_EQ(state.scene_miss_count, r.after.scene_miss_count);
    EXPECT_EQ(state.count_checked, r.after.count_checked);
    EXPECT_EQ(state.first_pitch_flag, r.after.first_pitch_flag);
    EXPECT_EQ(state.two_strike_flag, r.after.two_strike_flag);
    // Only a count read in this pass that shows a new batter forgets the previous type.
    EXPECT_EQ(outcome.first_pitch_read, r.after.first_pitch_flag && !r.before.count_checked);
  }
}

}  // namespace
