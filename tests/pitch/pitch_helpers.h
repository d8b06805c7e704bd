#pragma once
// Test helpers for pitch analysis: the drawn ball pictures, and comparison
// and printing of track points.
#include <ostream>

#include "../support/ball_pictures.h"
#include "pitch/pitch_classifier.h"

namespace pitchlog {

inline bool operator==(track_point a, track_point b) {
  return a.x == b.x && a.y == b.y;
}

inline std::ostream& operator<<(std::ostream& out, track_point p) {
  return out << "(" << p.x << ", " << p.y << ")";
}

}  // namespace pitchlog

namespace pitch_test {

using test_support::draw_ball;
using test_support::marked_pixels;
using test_support::smooth_ground;

// The radius at which the first circle pass finds drawn balls reliably.
inline constexpr double found_radius = 12.5;

}  // namespace pitch_test
