#include "practice/flight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pitch/pitch_classifier.h"
#include "practice/renderer.h"
#include "practice/scenario.h"

namespace {

using namespace practice;
using pitchlog::pitch_type;

constexpr pitch_type all_types[] = {pitch_type::straight, pitch_type::curve, pitch_type::fork,
                                    pitch_type::shoot};
constexpr hand both_hands[] = {hand::right, hand::left};

// pitchlog captures every 60 ms plus the cost of a capture; a burst's frame k
// is taken k periods after the capture that saw the finish pose, which itself
// comes up to one period after the pose appeared.
constexpr int periods[] = {60, 68, 80, 100};

std::vector<int> burst_times(int period, int phase) {
  std::vector<int> t;
  for (int k = 1; k <= 11; ++k) t.push_back(phase + k * period);
  return t;
}

// Frame 1 gives the track's start and frames 3 to 11 are tracked, as a burst
// whose frame 1 shows the ball is; the tracker must take every frame and the
// track must be named as thrown.
TEST(flight, every_burst_sees_a_path_the_tracker_accepts_and_the_type_shows) {
  for (pitch_type type : all_types) {
    for (hand h : both_hands) {
      const pitchlog::pitcher_hand pitcher =
          h == hand::right ? pitchlog::pitcher_hand::right : pitchlog::pitcher_hand::left;
      for (uint64_t seed = 0; seed < 300; ++seed) {
        const flight f = make_flight(type, h, seed);
        for (int period : periods) {
          for (int phase = 0; phase < period; phase += 7) {
            SCOPED_TRACE(::testing::Message()
                         << type_name(type) << " hand " << int(h) << " seed " << seed << " period "
                         << period << " phase " << phase);
            std::vector<ball_view> b;
            for (int t : burst_times(period, phase)) b.push_back(ball_at(f, t));
            for (const ball_view& v : b) {
              ASSERT_TRUE(v.visible);
              ASSERT_GE(v.radius, 6.0f);
              ASSERT_LE(v.radius, 13.0f);
              ASSERT_GE(v.y - v.radius, ball_area_top);
              ASSERT_LE(v.y + v.radius, ball_area_top + ball_area_height - 1);
              ASSERT_EQ(v.x - std::floor(v.x), 0.5f) << "centred on a pixel";
              // Clear of the two points the tracker ignores.
              for (float mx : marker_x) ASSERT_GT(std::hypot(v.x - mx, v.y - marker_y), 3.0f);
            }
            // In the coordinates of the searched rows, as the detector gives them.
            const auto seen = [&](int frame) {
              return pitchlog::track_point{b[frame - 1].x, b[frame - 1].y - ball_area_top};
            };
            pitchlog::ball_track track;
            track.points[1] = seen(1);
            int rejections = 0;
            for (int k = 3; k <= 11; ++k) {
              ASSERT_TRUE(pitchlog::next_track_point(track, k, seen(k), rejections)) << k;
              ASSERT_EQ(rejections, 0) << "frame " << k << " rejected";
            }
            ASSERT_STREQ(type_name(pitchlog::classify_pitch(track, pitcher)), type_name(type));
          }
        }
      }
    }
  }
}

}  // namespace
