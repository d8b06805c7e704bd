// Pitches of the practice game, captured as a burst would capture them, are
// tracked and named as thrown: every type, both hands, capture periods from
// 60 to 100 ms, the burst starting as early and as late as the pose check
// allows.
#include <array>
#include <span>
#include <string>

#include <gtest/gtest.h>

#include "pitch/ball_detector.h"
#include "pitch/pitch_classifier.h"
#include "practice/flight.h"
#include "practice/renderer.h"

namespace pitchlog {
namespace {

const cv::Point game_origin(150, 120);
const cv::Size game_size(practice::game_width, practice::game_height);

std::string name_of(pitch_type type) {
  constexpr const char* names[] = {"straight", "curve", "fork", "shoot"};
  return names[static_cast<int>(type)];
}

// The desktop with the game's pitch view `ms` after release.
cv::Mat capture_at(const practice::flight& path, practice::hand hand, int ms,
                   practice::render_cache& cache) {
  practice::game_view view;
  view.screen = practice::game_screen::versus;
  view.pitcher_hand = hand;
  view.pitcher_pose = practice::pose::finish;
  view.ball = practice::ball_at(path, ms);
  cv::Mat picture;
  practice::render_game(view, cache, picture);
  cv::Mat desktop(768, 1024, CV_8UC3, cv::Scalar(48, 40, 32));
  picture.copyTo(desktop(cv::Rect(game_origin, game_size)));
  return desktop;
}

// Frames 1 and 2 give the start point as the trigger finds it; frames 3 to 11
// are tracked; the track is named with the pitcher's hand.
pitch_type analyse(std::array<cv::Mat, 11>& burst, pitcher_hand hand, ball_state& ball,
                   bool& accepted) {
  const cv::Rect region = ball_search_region(game_origin, game_size);
  ball.position = {};
  detect_ball(burst[0](region), ball);
  detect_ball(burst[1](region), ball);
  accepted = ball.position.x != 0.0f;
  const track_point start{ball.position.x, ball.position.y};
  ball_track track;
  track_ball(std::span(burst).subspan(2), region, start, ball, track);
  return classify_pitch(track, hand);
}

// One burst per type, hand and period, each with its own seeded flight; the
// burst starts as early as the pose check allows for half of them and as late
// for the others.
TEST(practice_flights, every_type_and_hand_is_named_as_thrown) {
  constexpr pitch_type types[] = {pitch_type::straight, pitch_type::curve, pitch_type::fork,
                                  pitch_type::shoot};
  constexpr practice::hand hands[] = {practice::hand::right, practice::hand::left};
  constexpr int periods_ms[] = {60, 68, 80, 100};

  ball_state ball;
  make_ball_work_images(ball.work, ball_search_region(game_origin, game_size).size(), CV_8U);
  practice::render_cache cache;
  uint64_t seed = 0;
  for (pitch_type type : types) {
    for (practice::hand hand : hands) {
      for (int period : periods_ms) {
        ++seed;
        const practice::flight path = practice::make_flight(type, hand, seed);
        // The pose shows in a scene capture taken up to one period after
        // release; frame 1 follows one period after that capture.
        const int first_ms = seed % 2 == 0 ? period : 2 * period - 1;
        std::array<cv::Mat, 11> burst;
        for (int n = 0; n < 11; ++n)
          burst[n] = capture_at(path, hand, first_ms + n * period, cache);

        bool accepted = false;
        const pitcher_hand pitcher =
            hand == practice::hand::right ? pitcher_hand::right : pitcher_hand::left;
        const pitch_type named = analyse(burst, pitcher, ball, accepted);
        const std::string what =
            name_of(type) + (hand == practice::hand::right ? ", right" : ", left") + ", seed " +
            std::to_string(seed) + ", period " + std::to_string(period) + " ms, frame 1 at " +
            std::to_string(first_ms) + " ms";
        EXPECT_TRUE(accepted) << what;
        EXPECT_EQ(name_of(named), name_of(type)) << what;
      }
    }
  }
}

}  // namespace
}  // namespace pitchlog
