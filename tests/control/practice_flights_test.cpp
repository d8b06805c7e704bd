// Pitches of the practice game, caught by pitchlog's own burst and analysis
// on a scripted desktop, are tracked and named as thrown: every type, both
// hands, capture periods from 60 to 100 ms, the burst starting as early and as
// late as the pose check allows.
#include <string>

#include <gtest/gtest.h>

#include "control/main_loop.h"
#include "practice/flight.h"
#include "practice/renderer.h"
#include "screen/synthetic_game.h"
#include "support/test_support.h"

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

// One burst per type, hand and period, each with its own seeded flight; the
// burst starts as early as the pose check allows for half of them and as late
// for the others. The desktop hands the burst's eleven screens to
// take_burst's captures; analyse_pitch tracks and names it.
TEST(practice_flights, every_type_and_hand_is_named_as_thrown) {
  constexpr pitch_type types[] = {pitch_type::straight, pitch_type::curve, pitch_type::fork,
                                  pitch_type::shoot};
  constexpr practice::hand hands[] = {practice::hand::right, practice::hand::left};
  constexpr int periods_ms[] = {60, 68, 80, 100};

  test_support::scoped_work_dir dir;
  const cv::Rect region = ball_search_region(game_origin, game_size);
  watcher w;
  make_ball_work_images(w.ball.work, region.size(), CV_8U);
  w.context.half = inning_half::top;
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
        SCOPED_TRACE(name_of(type) + (hand == practice::hand::right ? ", right" : ", left") +
                     ", seed " + std::to_string(seed) + ", period " + std::to_string(period) +
                     " ms, frame 1 at " + std::to_string(first_ms) + " ms");
        synthetic::fake_desktop desk;
        for (int n = 0; n < burst_length; ++n)
          desk.add(capture_at(path, hand, first_ms + n * period, cache));
        const platform p = desk.make_platform();
        w.context.hand = hand == practice::hand::right ? pitcher_hand::right : pitcher_hand::left;

        cv::Mat scene_frame;  // held as the trigger frame, never analysed
        frame_burst burst;
        if (take_burst(p, scene_frame, region, w.trigger, w.ball, burst) !=
            burst_outcome::accepted) {
          ADD_FAILURE() << "no ball in frame 1 or 2";
          continue;
        }
        EXPECT_EQ(name_of(analyse_pitch(w, p, burst, region)), name_of(type));
      }
    }
  }
}

}  // namespace
}  // namespace pitchlog
