#include "practice/flight.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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

TEST(flight, every_burst_sees_a_path_the_tracker_accepts_and_the_type_shows) {
  for (pitch_type type : all_types) {
    for (hand h : both_hands) {
      for (uint64_t seed = 0; seed < 300; ++seed) {
        const flight f = make_flight(type, h, seed);
        for (int period : periods) {
          for (int phase = 0; phase < period; phase += 7) {
            SCOPED_TRACE(::testing::Message()
                         << type_name(type) << " hand " << int(h) << " seed " << seed << " period "
                         << period << " phase " << phase);
            std::vector<ball_view> b;
            for (int t : burst_times(period, phase)) b.push_back(ball_at(f, t));
            for (std::size_t k = 0; k < b.size(); ++k) {
              ASSERT_TRUE(b[k].visible);
              ASSERT_GE(b[k].radius, 6.0f);
              ASSERT_LE(b[k].radius, 13.0f);
              ASSERT_GE(b[k].y - b[k].radius, ball_area_top);
              ASSERT_LE(b[k].y + b[k].radius, ball_area_top + ball_area_height - 1);
              ASSERT_EQ(b[k].x - std::floor(b[k].x), 0.5f) << "centred on a pixel";
              // Clear of the two points the tracker ignores.
              for (float mx : marker_x) ASSERT_GT(std::hypot(b[k].x - mx, b[k].y - marker_y), 3.0f);
              if (k == 0) continue;
              ASSERT_LE(std::fabs(b[k].x - b[k - 1].x), 40.0f);
              ASSERT_GE(b[k].y + 2.0f, b[k - 1].y);
              ASSERT_LE(b[k].y - b[0].y, 80.0f);
            }
            const float dx = b[10].x - b[0].x, dy = b[10].y - b[0].y;
            const float toward_curve = h == hand::right ? dx : -dx;
            switch (type) {
              case pitch_type::straight:
                ASSERT_EQ(dx, 0.0f);
                ASSERT_EQ(dy, 0.0f);
                break;
              case pitch_type::fork:
                ASSERT_LE(std::fabs(dx), 1.0f);
                ASSERT_GE(dy, 20.0f);
                ASSERT_LE(dy, 70.0f);
                break;
              case pitch_type::curve:
                ASSERT_GE(toward_curve, 4.0f);
                break;
              case pitch_type::shoot:
                ASSERT_LE(toward_curve, -4.0f);
                break;
            }
          }
        }
      }
    }
  }
}

}  // namespace
