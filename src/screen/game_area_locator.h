#pragma once
// Finding the game picture on the desktop: a search of a half-size copy of the
// whole capture, then a full-size search in a narrow window around the hit.
#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"
#include "control/templates/template_store.h"

namespace pitchlog {

// What the locator keeps across locks.
struct locator_state {
  cv::Point game_origin{0, 0};  // top-left corner of the game picture at the last lock
  int locator_miss_count = 0;   // failed coarse searches since the last lock, up to 50
};

// At a lock with this many misses counted the record is emptied.
inline constexpr int locator_miss_limit = 50;
inline constexpr const char* half_capture_file_name = "resize-capture.bmp";

// A game-ending screen was seen: the record is to be emptied at the next lock.
inline void note_game_over(locator_state& locator) {
  locator.locator_miss_count = locator_miss_limit;
}

// Size of the half-size copy: trunc(0.5 * width), trunc(0.5 * height).
cv::Size half_size(cv::Size capture);

// The full-size window searched around the coarse hit: from 1.8 times the hit
// to 2.2 times it plus the game size, or to the capture's edge where that is
// nearer. Double precision, truncated.
cv::Rect refinement_window(cv::Point coarse_hit, cv::Size capture, cv::Size game);

// The game origin: trunc(1.8 * hit + best location in the window), per axis.
cv::Point locked_origin(cv::Point coarse_hit, cv::Point best_in_window);

enum class locate_outcome { locked, capture_failed };

struct lock_result {
  locate_outcome outcome = locate_outcome::capture_failed;
  // Fifty misses (or a game-ending screen) stood at the lock: the record is to be emptied.
  bool empty_record = false;
};

// Repeats locating attempts until the game picture is found, then at the lock
// sets the origin, clears the miss count and waits until the play-ball screen
// has gone. capture_failed when the first capture of an attempt cannot be
// loaded; any other unreadable capture starts a new attempt.
lock_result locate_game_area(const platform& p, const template_set& templates,
                             locator_state& locator);

}  // namespace pitchlog
