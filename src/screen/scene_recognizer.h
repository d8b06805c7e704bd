#pragma once
// Following the game's screens between pitches: which screen a capture shows,
// the ball-strike count read once per pitch, and when to give the game area up.
#include <opencv2/core/mat.hpp>

#include "control/templates/checks.h"
#include "control/templates/template_store.h"

namespace pitchlog {

// What the scene loop keeps across passes and pitches.
struct scene_state {
  int scene_miss_count = 0;       // unrecognised captures in a row
  bool count_checked = false;     // the count panel was read for the coming pitch
  bool first_pitch_flag = false;  // the panel showed no balls and no strikes
  bool two_strike_flag = false;   // the panel showed two strikes
};

// Unrecognised captures in a row after which the game area is given up.
inline constexpr int scene_miss_limit = 20;

// Runs the scene checks in order with `score(check)` and returns the scene of
// the first hit; later checks are not scored.
template <class Score>
scene first_scene_hit(Score&& score) {
  for (const template_check& c : scene_checks) {
    if (is_hit(score(c), c.threshold)) return c.on_hit;
  }
  return scene::unrecognised;
}

// Which screen `frame` shows, for the game picture at `origin`.
scene recognize_scene(const cv::Mat& frame, const template_set& templates, cv::Point origin);

// Sets both count flags from the two panel scores.
void count_flags_from_scores(double no_ball_no_strike_score, double two_strikes_score,
                             scene_state& state);

// Reads the count panel of `frame` into the flags (both checks run).
void read_count_panel(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                      scene_state& state);

enum class scene_action {
  keep_watching,  // take the next capture
  pitch_seen,     // the finish pose shows: take the burst with this frame as its trigger
  give_up,        // twenty unrecognised captures in a row: locate the game again
  game_over,      // a game-ending screen: locate the game again, and empty the record then
};

struct scene_outcome {
  scene_action action = scene_action::keep_watching;
  bool first_pitch_read = false;  // the count was read in this pass and showed a new batter
};

// One pass of the scene loop on a loaded capture: classifies it, reads the
// count once per pitch in the versus view, looks for the finish pose, and
// keeps the miss count. Says what happened; the caller acts on it.
scene_outcome scene_pass(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                         scene_state& state);

}  // namespace pitchlog
