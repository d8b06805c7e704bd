#include "screen/pitch_trigger.h"

#include "control/capture/capture_frame.h"

namespace pitchlog {

bool detect_finish_pose(const cv::Mat& frame, const template_set& templates, cv::Point origin) {
  return first_pose_hit(
      [&](const template_check& c) { return check_score(frame, templates, origin, c); });
}

burst_outcome take_burst(const platform& p, cv::Mat& scene_frame, const cv::Rect& search_region,
                         trigger_state& trigger, ball_state& ball, frame_burst& burst) {
  burst.trigger_frame = std::move(scene_frame);
  // A raw reading: it is written out as text after the pitch's analysis.
  trigger.caught_at_us = p.now_us();
  ++trigger.burst_count;
  p.source.pause(0);
  // Back to back: nothing between the captures but their own pause.
  for (cv::Mat& frame : burst.frames) frame = capture_frame(p);
  for (const cv::Mat& frame : burst.frames) {
    if (frame.empty()) {
      release_burst(burst);
      return burst_outcome::capture_failed;
    }
  }

  // Frame 2 is searched only when frame 1 showed no ball: the position is not
  // cleared between them.
  ball.position = {};
  search_ball(burst.frames[0], search_region, ball);
  trigger.first_ball_position = ball.position;
  search_ball(burst.frames[1], search_region, ball);
  trigger.first_ball_position = ball.position;
  if (trigger.first_ball_position.x == 0.0f) {
    // The search's memory lives for one burst, as it does for a pitch.
    release_ball_search_memory(ball.work);
    if (!trigger.keeps_ballless_burst) release_burst(burst);
    return burst_outcome::no_ball;
  }
  return burst_outcome::accepted;
}

void release_burst(frame_burst& burst) {
  burst.trigger_frame.release();
  for (cv::Mat& frame : burst.frames) frame.release();
}

}  // namespace pitchlog
