#include "screen/scene_recognizer.h"

#include "screen/game_area_locator.h"
#include "screen/pitch_trigger.h"

namespace pitchlog {

scene recognize_scene(const cv::Mat& frame, const template_set& templates, cv::Point origin) {
  return first_scene_hit(
      [&](const scene_check& c) { return check_score(frame, templates, origin, c); });
}

void count_flags_from_scores(double no_ball_no_strike_score, double two_strikes_score,
                             scene_state& state, pitch_record& record) {
  state.first_pitch_flag = is_hit(no_ball_no_strike_score, no_ball_no_strike_check.threshold);
  // A new batter: the previous pitch belongs to another at-bat.
  if (state.first_pitch_flag == 1) clear_previous_pitch_type(record);
  state.two_strike_flag = is_hit(two_strikes_score, two_strikes_check.threshold);
}

void read_count_panel(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                      scene_state& state, pitch_record& record) {
  const double no_ball_no_strike = check_score(frame, templates, origin, no_ball_no_strike_check);
  const double two_strikes = check_score(frame, templates, origin, two_strikes_check);
  count_flags_from_scores(no_ball_no_strike, two_strikes, state, record);
}

scene_action scene_pass(const cv::Mat& frame, const template_set& templates, cv::Point origin,
                        scene_state& state, int32_t& locator_miss_count, pitch_record& record) {
  switch (recognize_scene(frame, templates, origin)) {
    case scene::versus_view:
      if (state.count_checked == 0) {
        read_count_panel(frame, templates, origin, state, record);
        state.count_checked = 1;
      }
      if (detect_finish_pose(frame, templates, origin)) return scene_action::pitch_seen;
      state.scene_miss_count = 0;
      return scene_action::keep_watching;
    case scene::interlude:
      state.scene_miss_count = 0;
      return scene_action::keep_watching;
    case scene::game_over:
      // The record is emptied at the next lock.
      locator_miss_count = locator_miss_limit;
      state.scene_miss_count = 0;
      return scene_action::relocate;
    case scene::unrecognised:
      break;
  }
  if (++state.scene_miss_count < scene_miss_limit) return scene_action::keep_watching;
  state.scene_miss_count = 0;
  return scene_action::relocate;
}

}  // namespace pitchlog
