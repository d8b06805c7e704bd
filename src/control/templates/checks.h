#pragma once
// Every template check pitchlog makes, in one table: which picture is matched
// in which region of the game picture, and above which score it hits. The
// stages, the start-up size check and the picture tools all read this table.
#include <array>
#include <span>

#include <opencv2/core/mat.hpp>

#include "control/templates/template_store.h"

namespace pitchlog {

// What one capture shows, as the scene checks classify it.
enum class scene { versus_view, interlude, game_over, unrecognised };

// Region sizes that are not fixed numbers: the whole game picture (W or H of
// 低め.png), or a region the locator computes (the whole half-size desktop,
// the refinement window).
inline constexpr int whole_game = -1;
inline constexpr int computed = 0;

// Picture `id` matched in (x0 + x, y0 + y, w, h) for the game picture at
// (x0, y0); a hit when the best score is strictly above `threshold`.
struct template_check {
  template_id id;
  int x;
  int y;
  int w;
  int h;
  double threshold;
  scene on_hit = scene::unrecognised;  // scene checks: the scene a hit means
};

enum class check_id : int {
  // The scene checks, in the order they run; the first hit decides.
  versus_ground,
  field_ground,
  time_out,
  scoreboard,
  opponent_time_out_wait,
  title,
  game_set,
  warning,
  // The count panel, read once per pitch; both always run.
  count_no_ball_no_strike,
  count_two_strikes,
  // The pitch trigger; the left hand only when the right one misses.
  finish_pose_right,
  finish_pose_left,
  // The end-of-pitch wait, for the hand of the pitch.
  pitch_end_right,
  pitch_end_left,
  // The locator: the play-ball wait, the coarse search, the refinement.
  play_ball,
  coarse_search,
  refinement,
  // Who pitched, read from burst frame 1.
  inning_top,
  inning_bottom,
  hand_right,
  hand_left,
  pitcher_name,
};
inline constexpr int check_count = 22;
inline constexpr int scene_check_count = 8;

inline constexpr std::array<template_check, check_count> checks = {{
    {template_id::versus_ground, 10, 70, 40, 80, 0.75, scene::versus_view},
    {template_id::field_ground, 0, 230, 70, 60, 0.5, scene::interlude},
    {template_id::time_out, 10, 0, 90, 60, 0.5, scene::interlude},
    {template_id::scoreboard, 370, 70, 60, 50, 0.55, scene::interlude},
    {template_id::opponent_time_out_wait, 160, 210, 130, 50, 0.75, scene::interlude},
    {template_id::title, 170, 20, 130, 100, 0.5, scene::game_over},
    {template_id::game_set, 70, 310, 110, 40, 0.75, scene::game_over},
    {template_id::warning, 280, 40, 130, 90, 0.75, scene::game_over},
    {template_id::count_no_ball_no_strike, 0, 0, 100, 130, 0.9},
    {template_id::count_two_strikes, 0, 0, 100, 130, 0.75},
    {template_id::finish_pose_right, 290, 150, 110, 100, 0.6},
    {template_id::finish_pose_left, 290, 150, 110, 100, 0.6},
    // The end of a pitch is watched in another region than its start: 10 px
    // lower, 10 px wider and 10 px shorter. The pose pictures must fit both,
    // so they can be at most 110 x 90.
    {template_id::finish_pose_right, 290, 160, 120, 90, 0.6},
    {template_id::finish_pose_left, 290, 160, 120, 90, 0.6},
    {template_id::play_ball, 0, 0, whole_game, whole_game, 0.7},
    {template_id::half_game_area, 0, 0, computed, computed, 0.5},
    {template_id::game_area, 0, 0, computed, computed, 0.5},
    {template_id::top_sign, 60, 10, 80, 40, 0.97},
    {template_id::bottom_sign, 60, 10, 80, 40, 0.97},
    {template_id::right_hand_sign, 550, 20, 130, 50, 0.97},
    {template_id::left_hand_sign, 550, 20, 130, 50, 0.97},
    // The name crop has the region's size, so it yields one score; the
    // pitcher is the same one at 0.95 or more (a new one only below it).
    {template_id::pitcher_name_crop, 545, 15, 90, 20, 0.95},
}};

inline const template_check& check_of(check_id id) {
  return checks[static_cast<int>(id)];
}

// The scene checks, in the order they run.
inline constexpr std::span<const template_check, scene_check_count> scene_checks{checks.data(),
                                                                                 scene_check_count};

// For two checks read as a pair (the inning signs, the hand signs), a rule
// that may still decide where neither hits: the better one is taken when it
// scores above `floor` and leads the other by more than `lead`. A replay
// turns it on: compression and rescaling pull a sign that is plainly there
// below the hit threshold, far less below it than the other sign is.
struct close_call_rule {
  bool on = false;
  double floor = 0.0;
  double lead = 0.0;
};

// The replay's rule, from the measured scores of both signs under H.264 and
// rescaling (README).
inline constexpr close_call_rule replay_close_calls{true, 0.8, 0.4};

enum class close_call { neither, first, second };

// What `rule` makes of a pair's scores where neither hit (NaN never wins).
close_call decide_close_call(double first, double second, const close_call_rule& rule);

// The region of a check for the game picture W x H (`game`) at `origin`;
// empty for a region the locator computes.
cv::Rect check_region(const template_check& c, cv::Point origin, cv::Size game);

// The picture a check matches: a start-up picture of `templates`, or a sign
// read from data/ just for this match (empty when it cannot be read, and for
// the name crop, which is not in data/).
cv::Mat check_picture(const template_set& templates, const template_check& c);

// Best score of `picture` in the region of `c` on `frame`; NaN (a miss) when
// the region leaves the frame or a picture is missing.
double check_score(const cv::Mat& frame, const cv::Mat& picture, const template_check& c,
                   cv::Point origin, cv::Size game);

// Best score of check `c` with its own picture, for the game picture of
// `templates` at `origin`.
double check_score(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                   const template_check& c);

}  // namespace pitchlog
