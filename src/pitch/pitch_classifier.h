#pragma once
// Following the ball through burst frames 3 to 11 and naming the pitch.
#include <array>
#include <span>

#include <opencv2/core/mat.hpp>

#include "pitch/ball_detector.h"
#include "record/pitch_type.h"

namespace pitchlog {

struct track_point {
  float x = 0.0f;
  float y = 0.0f;
};

// points[1] is the start (frames 1 and 2), points[3] .. points[11] one per
// frame; points[0] and points[2] are unused.
struct ball_track {
  std::array<track_point, 12> points{};
};

// Sets point k (3 to 11) of a track whose points 1 to k-1 are set, from the
// ball found in frame k (x == 0: none): accepted, ignored or rejected.
// Returns false when frame k ends the track (the second rejection without an
// accepted frame between); the points after k then repeat point k-1.
bool next_track_point(ball_track& track, int k, track_point candidate, int& rejection_count);

// Fills the track from frames 3 to 11 (frames[0] is frame 3). Each frame is
// released once searched; after an early end the rest are released unsearched.
// Leaves ball.position at (0, 0) and frees the ball search's memory. Returns
// the frame that ended the track (4 to 11), or 0 when none did.
int track_ball(std::span<cv::Mat> frames_3_to_11, const cv::Rect& search_region,
               track_point first_ball_position, ball_state& ball, ball_track& track);

// One pitch type from the track's start, end, P4.y, P5.y and the hand.
pitch_type classify_pitch(const ball_track& track, pitcher_hand hand);

}  // namespace pitchlog
