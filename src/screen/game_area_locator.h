#pragma once
// Finding the game picture on the desktop: a search of a half-size copy of the
// whole capture, then a full-size search in a narrow window around the hit.
#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"
#include "control/templates/template_store.h"

namespace pitchlog {

// What the locator keeps across locks.
struct locator_state {
  cv::Point game_origin{0, 0};  // top-left corner of the game picture at the last lock
  int locator_miss_count = 0;   // failed coarse searches since the last lock, up to 50
  int64_t locks = 0;            // locks this run
  // False once the platform said the screen had not changed when it had:
  // from then on every attempt captures.
  bool trusts_unchanged_screen = true;
  // A replay's own setting: until the first lock, a coarse miss now and then
  // also looks for the game picture at other scales (a recording made at
  // another size than the reference pictures). The scale it was found at,
  // once: the frames are to be brought to the reference scale by it; 0 while
  // not found.
  bool searches_scales = false;
  double found_scale = 0.0;
};

// The scales a scale search covers, and how often it runs: on the first
// coarse miss, then on every this many.
inline constexpr double lowest_game_scale = 0.5;
inline constexpr double highest_game_scale = 2.0;
inline constexpr int scale_search_every = 16;

// The scale, from `lowest` to `highest`, at which the reference game picture
// `game` matches best somewhere in `frame`: a pass over scales 3 % apart on
// small copies, then one 0.25 % apart at full size around the best. 0 when
// the best match is no hit of the refinement check.
double find_game_scale(const cv::Mat& frame, const cv::Mat& game, double lowest = lowest_game_scale,
                       double highest = highest_game_scale);

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

// Whether an attempt may skip work whose result is already known (the
// default), or does all of it, as a full search of every capture.
enum class attempt_reuse { known_results, none };

// While the platform reports the screen unchanged since the last grab, an
// attempt after a miss is answered without a capture, except every this many
// attempts, which capture anyway and so catch a change that went unreported.
inline constexpr int unchanged_screen_check_every = 16;

struct lock_result {
  locate_outcome outcome = locate_outcome::capture_failed;
  // Fifty misses (or a game-ending screen) stood at the lock: the record is to be emptied.
  bool empty_record = false;
};

// Repeats locating attempts until the game picture is found, then at the lock
// sets the origin, clears the miss count and waits until the play-ball screen
// has gone. capture_failed when the first capture of an attempt cannot be
// loaded; any other unreadable capture starts a new attempt.
//
// With known_results every attempt decides exactly as a full search of its
// capture would, but skips what an earlier attempt of this call already
// found out: a half-size copy equal to the last one keeps the last answer, a
// changed one is matched only over the change (coarse_reuse.h); and after a
// miss, while the platform reports the screen unchanged and both files are
// as the last attempt left them, the attempt is a miss without a capture.
// Every attempt that skips work still lasts as long as the last one that
// searched its whole picture (measured on the platform's clock), so misses
// count up to fifty no faster than full searches would; an attempt without a
// capture is cut short, uncounted, by a reported change. Should a capture
// find a change the platform neither reported nor explains, its reports are
// no longer relied on and the misses counted on their word are taken back.
lock_result locate_game_area(const platform& p, const template_set& templates,
                             locator_state& locator,
                             attempt_reuse reuse = attempt_reuse::known_results);

}  // namespace pitchlog
