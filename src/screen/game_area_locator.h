#pragma once
// Finding the game picture on the desktop: a search of a half-size copy of the
// whole capture, then a full-size search in a narrow window around the hit.
#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "control/platform.h"
#include "control/template_store.h"
#include "pitch/ball_detector.h"
#include "record/pitch_record.h"
#include "screen/pitch_trigger.h"
#include "screen/scene_recognizer.h"

namespace pitchlog {

// What the locator keeps across locks.
struct locator_state {
  cv::Point game_origin{0, 0};     // top-left corner of the game picture at the last lock
  int32_t locator_miss_count = 0;  // failed coarse searches since the last lock, up to 50
};

// At a lock with this many misses counted the record is emptied.
inline constexpr int32_t locator_miss_limit = 50;
inline constexpr double coarse_threshold = 0.5;
inline constexpr double refinement_threshold = 0.5;
inline constexpr double play_ball_threshold = 0.7;
inline constexpr const char* half_capture_file_name = "resize-capture.bmp";

// Size of the half-size copy: trunc(0.5 * width), trunc(0.5 * height).
cv::Size half_size(cv::Size capture);

// The full-size window searched around the coarse hit: from 1.8 times the hit
// to 2.2 times it plus the game size, or to the capture's edge where that is
// nearer. Double precision, truncated.
cv::Rect refinement_window(cv::Point coarse_hit, cv::Size capture, cv::Size game);

// The game origin: trunc(1.8 * hit + best location in the window), per axis.
cv::Point locked_origin(cv::Point coarse_hit, cv::Point best_in_window);

enum class locate_outcome { locked, capture_failed };

// Repeats locating attempts until the game picture is found, then at the lock:
// sets the origin, makes the ball work images while `burst_count` is 0, empties
// the record (and the burst, scene-miss and count-checked counters) when 50
// misses stand, clears the miss count, and waits until the play-ball screen has
// gone. Returns capture_failed when the first capture of an attempt cannot be
// loaded; any other unreadable capture starts a new attempt.
locate_outcome locate_game_area(const platform& p, const template_set& templates,
                                locator_state& locator, scene_state& scene, trigger_state& trigger,
                                ball_state& ball, pitch_record& record);

}  // namespace pitchlog
