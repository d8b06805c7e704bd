#include "pitch/pitch_classifier.h"

#include <cfloat>
#include <cmath>

namespace pitchlog {
namespace {

// Ball coordinates and every comparison on them are single precision; float
// expressions must not be evaluated in a wider type.
static_assert(FLT_EVAL_METHOD == 0, "float arithmetic must be evaluated as float");

constexpr int first_tracked_frame = 3;
constexpr int last_frame = 11;
constexpr int rejections_ending_track = 2;

// Continuity bounds, all inclusive.
constexpr float max_sideways_step = 40.0f;    // |X - xp|
constexpr float max_rise_step = 2.0f;         // yp - Y
constexpr float max_drop_from_start = 80.0f;  // Y - y1

// Frames 10 and 11 keep the previous x when the path's start and P9 lie this
// close sideways.
constexpr float steady_column_tolerance = 2.0f;

// Fixed spots on the screen that look like a ball and are never taken as one:
// inclusive ranges of centre x and y.
struct ignored_spot {
  float min_x, max_x, min_y, max_y;
};
constexpr ignored_spot ignored_positions[] = {
    {234.5f, 235.5f, 78.5f, 79.5f},
    {317.5f, 317.5f, 78.5f, 79.5f},
};

// Classification bounds.
constexpr float max_steady_dx = 1.0f;
constexpr float max_steady_dy = 1.0f;
constexpr float ratio_rule_dx = 2.0f;
constexpr double min_fork_drop_ratio = 0.18;

// The sideways rule: [ended further left][hand].
constexpr pitch_type sideways_table[2][2] = {
    // hand right          hand left
    {pitch_type::curve, pitch_type::shoot},  // S.x <= E.x
    {pitch_type::shoot, pitch_type::curve},  // S.x > E.x
};

bool is_continuous(track_point candidate, track_point previous, track_point start) {
  const float sideways = std::fabs(candidate.x - previous.x);
  const float raised = candidate.y + max_rise_step;
  const float dropped = candidate.y - start.y;
  // Written so that a NaN anywhere fails.
  return sideways <= max_sideways_step && raised >= previous.y && dropped <= max_drop_from_start;
}

bool is_ignored(track_point candidate) {
  for (const ignored_spot& spot : ignored_positions) {
    if (candidate.x >= spot.min_x && candidate.x <= spot.max_x && candidate.y >= spot.min_y &&
        candidate.y <= spot.max_y) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool next_track_point(ball_track& track, int k, track_point candidate, int& rejection_count) {
  if (k < first_tracked_frame || k > last_frame) return false;
  auto& p = track.points;
  // Frame 3 follows the start point; there is no point for frame 2.
  const track_point previous = p[k == first_tracked_frame ? 1 : k - 1];
  // A frame without a ball never passes: its (0, 0) is no position.
  const bool found = candidate.x != 0.0f;
  if (found && is_continuous(candidate, previous, p[1])) {
    if (is_ignored(candidate)) {
      p[k] = previous;
      return true;
    }
    p[k] = candidate;
    rejection_count = 0;
    if (k >= 10 && std::fabs(p[1].x - p[9].x) <= steady_column_tolerance) p[k].x = previous.x;
    return true;
  }
  p[k] = previous;
  if (++rejection_count < rejections_ending_track) return true;
  for (int later = k + 1; later <= last_frame; ++later) p[later] = previous;
  return false;
}

int track_ball(std::span<cv::Mat> frames_3_to_11, const cv::Rect& search_region,
               track_point first_ball_position, ball_state& ball, ball_track& track) {
  track = ball_track{};
  track.points[1] = first_ball_position;
  int rejection_count = 0;
  int ended_at = 0;
  for (int k = first_tracked_frame; k <= last_frame; ++k) {
    const std::size_t index = static_cast<std::size_t>(k - first_tracked_frame);
    cv::Mat* frame = index < frames_3_to_11.size() ? &frames_3_to_11[index] : nullptr;
    if (ended_at != 0) {
      if (frame) frame->release();  // never searched
      continue;
    }
    ball.position = {};
    if (frame) {
      search_ball(*frame, search_region, ball);
      frame->release();
    }
    if (!next_track_point(track, k, {ball.position.x, ball.position.y}, rejection_count))
      ended_at = k;
  }
  ball.position = {};
  release_ball_search_memory(ball.work);
  return ended_at;
}

pitch_type classify_pitch(const ball_track& track, pitcher_hand hand) {
  const track_point start = track.points[1];
  const track_point end = track.points[11];
  const float y4 = track.points[4].y;
  const float y5 = track.points[5].y;

  const float dx = std::fabs(start.x - end.x);
  if (dx <= max_steady_dx) {
    const float dy = std::fabs(start.y - end.y);
    if (dy <= max_steady_dy) return pitch_type::straight;
    if (end.y > start.y) return pitch_type::fork;
  }
  if (dx == ratio_rule_dx) {
    // Rounded to float first: 9/50 then compares above 0.18. A zero drop gives
    // +inf (fork), -inf or NaN (neither).
    const float drop_4_to_5 = y5 - y4;
    const float drop_overall = end.y - start.y;
    const float ratio = drop_4_to_5 / drop_overall;
    if (static_cast<double>(ratio) > min_fork_drop_ratio) return pitch_type::fork;
  }
  const bool ended_left = start.x > end.x;
  return sideways_table[ended_left ? 1 : 0][static_cast<int>(hand)];
}

}  // namespace pitchlog
