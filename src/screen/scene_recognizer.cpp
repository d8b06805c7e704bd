#include "screen/scene_recognizer.h"

#include "screen/pitch_trigger.h"

namespace pitchlog {

scene recognize_scene(const cv::Mat& frame, const template_set& templates, cv::Point origin) {
  return first_scene_hit(
      [&](const template_check& c) { return check_score(frame, templates, origin, c); });
}

void count_flags_from_scores(double no_ball_no_strike_score, double two_strikes_score,
                             scene_state& state) {
  state.first_pitch_flag =
      is_hit(no_ball_no_strike_score, check_of(check_id::count_no_ball_no_strike).threshold);
  state.two_strike_flag =
      is_hit(two_strikes_score, check_of(check_id::count_two_strikes).threshold);
}

void read_count_panel(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                      scene_state& state) {
  const double no_ball_no_strike =
      check_score(frame, templates, origin, check_of(check_id::count_no_ball_no_strike));
  const double two_strikes =
      check_score(frame, templates, origin, check_of(check_id::count_two_strikes));
  count_flags_from_scores(no_ball_no_strike, two_strikes, state);
}

scene_outcome scene_pass(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                         scene_state& state) {
  scene_outcome outcome;
  switch (recognize_scene(frame, templates, origin)) {
    case scene::versus_view:
      if (!state.count_checked) {
        read_count_panel(frame, templates, origin, state);
        state.count_checked = true;
        outcome.first_pitch_read = state.first_pitch_flag;
      }
      if (detect_finish_pose(frame, templates, origin)) {
        outcome.action = scene_action::pitch_seen;
        return outcome;
      }
      state.scene_miss_count = 0;
      return outcome;
    case scene::interlude:
      state.scene_miss_count = 0;
      return outcome;
    case scene::game_over:
      state.scene_miss_count = 0;
      outcome.action = scene_action::game_over;
      return outcome;
    case scene::unrecognised:
      break;
  }
  if (++state.scene_miss_count < scene_miss_limit) return outcome;
  state.scene_miss_count = 0;
  outcome.action = scene_action::give_up;
  return outcome;
}

}  // namespace pitchlog
