#pragma once
// Following the game's screens between pitches: which screen a capture shows,
// the ball-strike count read once per pitch, and when to give the game area up.
#include <array>
#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "control/template_store.h"
#include "record/pitch_record.h"
#include "screen/template_check.h"

namespace pitchlog {

enum class scene { versus_view, interlude, game_over, unrecognised };

// What the scene loop keeps across passes and pitches.
struct scene_state {
  int32_t scene_miss_count = 0;  // unrecognised captures in a row
  int32_t count_checked = 0;     // 1 once the count panel was read for the coming pitch
  int32_t first_pitch_flag = 0;  // the panel showed no balls and no strikes
  int32_t two_strike_flag = 0;   // the panel showed two strikes
};

// Unrecognised captures in a row after which the game area is given up.
inline constexpr int32_t scene_miss_limit = 20;

// A template check that names the screen it recognises.
struct scene_check : template_check {
  scene on_hit;
};

// In the order they run; the first hit decides.
inline constexpr std::array<scene_check, 8> scene_checks = {{
    {{template_id::versus_ground, 10, 70, 40, 80, 0.75}, scene::versus_view},
    {{template_id::field_ground, 0, 230, 70, 60, 0.5}, scene::interlude},
    {{template_id::time_out, 10, 0, 90, 60, 0.5}, scene::interlude},
    {{template_id::scoreboard, 370, 70, 60, 50, 0.55}, scene::interlude},
    {{template_id::opponent_time_out_wait, 160, 210, 130, 50, 0.75}, scene::interlude},
    {{template_id::title, 170, 20, 130, 100, 0.5}, scene::game_over},
    {{template_id::game_set, 70, 310, 110, 40, 0.75}, scene::game_over},
    {{template_id::warning, 280, 40, 130, 90, 0.75}, scene::game_over},
}};

// The count panel; both checks always run.
inline constexpr template_check no_ball_no_strike_check = {
    template_id::count_no_ball_no_strike, 0, 0, 100, 130, 0.9};
inline constexpr template_check two_strikes_check = {
    template_id::count_two_strikes, 0, 0, 100, 130, 0.75};

// Runs the scene checks in order with `score(check)` and returns the scene of
// the first hit; later checks are not scored.
template <class Score>
scene first_scene_hit(Score&& score) {
  for (const scene_check& c : scene_checks) {
    if (is_hit(score(c), c.threshold)) return c.on_hit;
  }
  return scene::unrecognised;
}

// Which screen `frame` shows, for the game picture at `origin`.
scene recognize_scene(const cv::Mat& frame, const template_set& templates, cv::Point origin);

// Sets both count flags from the two panel scores; a first pitch forgets the
// previous pitch type.
void count_flags_from_scores(double no_ball_no_strike_score, double two_strikes_score,
                             scene_state& state, pitch_record& record);

// Reads the count panel of `frame` into the flags (both checks run).
void read_count_panel(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                      scene_state& state, pitch_record& record);

enum class scene_action {
  keep_watching,  // take the next capture
  pitch_seen,     // the finish pose shows: take the burst with this frame as its trigger
  relocate,       // give the game area up and locate it again
};

// One pass of the scene loop on a loaded capture: classifies it, reads the
// count once per pitch in the versus view, looks for the finish pose, and keeps
// the miss counters. A game-ending screen sets `locator_miss_count` to 50 so
// that the next lock empties the record.
scene_action scene_pass(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                        scene_state& state, int32_t& locator_miss_count, pitch_record& record);

}  // namespace pitchlog
