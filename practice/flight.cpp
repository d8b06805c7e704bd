#include "practice/flight.h"

#include <algorithm>
#include <cmath>

#include <opencv2/core/types.hpp>

namespace practice {

uint64_t next_random(seeded_random& r) {
  uint64_t z = (r.state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

int random_between(seeded_random& r, int lo, int hi) {
  const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo + 1);
  return lo + static_cast<int>(((next_random(r) >> 32) * span) >> 32);
}

namespace {

// How far each type breaks, before the hand turns sideways movement around.
// Sideways is in the curve's direction for a right-hander (+ right on screen).
struct break_range {
  pitchlog::pitch_type type;
  int sideways_min, sideways_max;
  int drop_min, drop_max;
};

constexpr break_range break_ranges[] = {
    {pitchlog::pitch_type::straight, 0, 0, 0, 0},
    {pitchlog::pitch_type::curve, 8, 45, 0, 12},
    {pitchlog::pitch_type::fork, 0, 1, 20, 70},
    {pitchlog::pitch_type::shoot, -45, -8, 0, 12},
};

// Where the ball shows at release, and how big it is then and at the end.
// Every path stays on the dirt lane between the pitcher (rows up to 250) and
// the batter (columns from 462), below the tracker's ignored points (game row
// 256) and inside the searched rows.
constexpr int release_x_min = 300, release_x_max = 395;
constexpr int release_y_min = ball_area_top + 100, release_y_max = ball_area_top + 150;
// Radii stay inside the circle search's 6 to 13 px with a margin at both ends,
// where its estimate of a drawn ball's radius can fall outside the range.
constexpr int start_radius_min_half = 15, start_radius_max_half = 17;  // 7.5 to 8.5 px
constexpr int end_radius_min_half = 23, end_radius_max_half = 25;      // 11.5 to 12.5 px
// The hard difficulty's ball flies away from the camera: 12.5 to 13.5 px at
// release, 5.5 to 6.5 px at the end (the same draws, shifted).
constexpr int hard_start_shift_half = 25 - start_radius_min_half;
constexpr int hard_end_shift_half = 11 - end_radius_min_half;

// Where the ball's centre is `ms` after release, before it is put on the grid.
cv::Point2f path_at(const flight& f, int ms) {
  const float u = std::clamp(
      static_cast<float>(ms - break_begin_ms) / static_cast<float>(break_end_ms - break_begin_ms),
      0.0f, 1.0f);
  const float eased = u * u * (3.0f - 2.0f * u);
  return {f.start_x + f.break_x * eased, f.start_y + f.break_y * eased};
}

}  // namespace

ball_view ball_at(const flight& f, int ms) {
  ball_view b;
  if (ms < 0 || ms >= f.duration_ms) return b;
  const cv::Point2f at = path_at(f, ms);
  b.visible = true;
  // Centred on a pixel (half-pixel coordinates), where the circle search puts it too.
  b.x = std::round(at.x - 0.5f) + 0.5f;
  b.y = std::round(at.y - 0.5f) + 0.5f;
  b.radius = f.start_radius + (f.end_radius - f.start_radius) * static_cast<float>(ms) /
                                  static_cast<float>(f.duration_ms);
  if (f.blur_ms > 0) {
    const cv::Point2f before = path_at(f, std::max(0, ms - f.blur_ms));
    b.blur_x = at.x - before.x;
    b.blur_y = at.y - before.y;
  }
  return b;
}

flight make_flight(pitchlog::pitch_type type, hand pitcher_hand, uint64_t seed, difficulty level) {
  seeded_random r{seed};
  const break_range& range = break_ranges[static_cast<int>(type)];
  flight f;
  f.start_x = static_cast<float>(random_between(r, release_x_min, release_x_max)) + 0.5f;
  f.start_y = static_cast<float>(random_between(r, release_y_min, release_y_max)) + 0.5f;
  int sideways = random_between(r, range.sideways_min, range.sideways_max);
  if (type == pitchlog::pitch_type::fork && random_between(r, 0, 1) == 1) sideways = -sideways;
  if (pitcher_hand == hand::left) sideways = -sideways;
  f.break_x = static_cast<float>(sideways);
  f.break_y = static_cast<float>(random_between(r, range.drop_min, range.drop_max));
  const bool hard = level == difficulty::hard;
  const int start_half = random_between(r, start_radius_min_half, start_radius_max_half);
  const int end_half = random_between(r, end_radius_min_half, end_radius_max_half);
  f.start_radius = 0.5f * static_cast<float>(start_half + (hard ? hard_start_shift_half : 0));
  f.end_radius = 0.5f * static_cast<float>(end_half + (hard ? hard_end_shift_half : 0));
  if (hard) f.blur_ms = hard_blur_ms;
  return f;
}

}  // namespace practice
