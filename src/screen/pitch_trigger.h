#pragma once
// The moment a pitch is under way: the pitcher's finish pose, then a burst of
// eleven captures taken back to back, kept when the ball shows in frame 1 or 2.
#include <array>
#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"
#include "control/templates/checks.h"
#include "control/templates/template_store.h"
#include "pitch/ball_detector.h"

namespace pitchlog {

inline constexpr int burst_length = 11;

// What the trigger keeps across pitches.
struct trigger_state {
  int burst_count = 0;  // every trigger, kept or not; 0 again when the record is emptied
  // The platform's clock as the last burst began: when its pitch was caught.
  int64_t caught_at_us = 0;
  ball_position first_ball_position;  // the ball in frame 1, or in frame 2 when frame 1 had none
  // A burst without the ball keeps its frames: a replay reads the pitch's
  // inning half and pitcher from it before naming it unread.
  bool keeps_ballless_burst = false;
};

// One pitch's captures: frames[0] is frame 1, frames[10] frame 11.
struct frame_burst {
  cv::Mat trigger_frame;
  std::array<cv::Mat, burst_length> frames;
};

// True when a finish-pose check hits, scoring them in order with `score(check)`
// (right-handed first) and stopping at the first hit.
template <class Score>
bool first_pose_hit(Score&& score) {
  for (check_id id : {check_id::finish_pose_right, check_id::finish_pose_left}) {
    const template_check& c = check_of(id);
    if (is_hit(score(c), c.threshold)) return true;
  }
  return false;
}

// True when `frame` shows the pitcher's finish pose, either hand.
bool detect_finish_pose(const cv::Mat& frame, const template_set& templates, cv::Point origin);

enum class burst_outcome {
  accepted,        // the ball in frame 1 or 2: first_ball_position set, `burst` filled
  no_ball,         // neither frame 1 nor 2 shows the ball
  capture_failed,  // a frame cannot be loaded
};

// Holds `scene_frame` as the trigger frame, notes the time, counts the burst,
// yields once and takes eleven captures, then looks for the ball in frames 1
// and 2. Unless accepted (or kept without a ball), every image of the burst is
// released.
burst_outcome take_burst(const platform& p, cv::Mat& scene_frame, const cv::Rect& search_region,
                         trigger_state& trigger, ball_state& ball, frame_burst& burst);

// Releases the trigger frame and all eleven frames.
void release_burst(frame_burst& burst);

}  // namespace pitchlog
