// Cost of finding the ball in one 720 x 302 search region, and of a whole
// burst analysis (frames 1 to 11 searched, tracked and classified) on
// 1920 x 1080 frames, drawn and from the practice game. The argument is
// OpenCV's thread count.
#include <array>
#include <span>
#include <vector>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "pitch/ball_detector.h"
#include "pitch/pitch_classifier.h"
#include "practice/flight.h"
#include "practice/renderer.h"

namespace {

using namespace pitchlog;

const cv::Size game_size(720, 480);
const cv::Size region_size = ball_search_region({0, 0}, game_size).size();

// A smooth vertical green gradient: ground without edges.
cv::Mat smooth_ground(cv::Size size) {
  cv::Mat image(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y)
    image.row(y).setTo(cv::Scalar(60, 130 + 100 * y / size.height, 70));
  return image;
}

// The practice game's ball, 12 px in radius, centred on (x, y).
void draw_ball(cv::Mat& image, cv::Point2d centre) {
  practice::draw_ball(image, static_cast<float>(centre.x), static_cast<float>(centre.y), 12.0f,
                      cv::Scalar(238, 238, 238));
}

// Grass-like ground: the smooth gradient with blurred noise on top.
cv::Mat textured_ground(cv::Size size) {
  cv::Mat ground = smooth_ground(size);
  cv::Mat noise(size, CV_16SC3);
  cv::RNG rng(12345);
  rng.fill(noise, cv::RNG::NORMAL, 0, 12);
  cv::GaussianBlur(noise, noise, {3, 3}, 0);
  cv::Mat ground16;
  ground.convertTo(ground16, CV_16SC3);
  ground16 += noise;
  ground16.convertTo(ground, CV_8UC3);
  return ground;
}

void detect_in(benchmark::State& state, const cv::Mat& picture) {
  cv::setNumThreads(static_cast<int>(state.range(0)));
  ball_state ball;
  make_ball_work_images(ball.work, region_size, CV_8U);
  cv::Mat region(region_size, CV_8UC3);
  for (auto _ : state) {
    state.PauseTiming();
    picture.copyTo(region);  // undo the marks of the previous search
    ball.position = {};
    state.ResumeTiming();
    detect_ball(region, ball);
    benchmark::DoNotOptimize(ball.position);
  }
  state.counters["found"] = ball.position.x != 0.0f;
}

void BM_detect_ball_first_pass_hit(benchmark::State& state) {
  cv::Mat picture = smooth_ground(region_size);
  draw_ball(picture, {300.5, 150.5});
  detect_in(state, picture);
}

void BM_detect_ball_nothing_smooth_ground(benchmark::State& state) {
  detect_in(state, smooth_ground(region_size));
}

void BM_detect_ball_textured_ground(benchmark::State& state) {
  detect_in(state, textured_ground(region_size));
}

// Frames 1 and 2 searched for the start point as the trigger does, frames 3
// to 11 tracked and released, then the pitch named.
pitch_type analyse_burst(std::array<cv::Mat, 11>& frames, const cv::Rect& region,
                         ball_state& ball) {
  ball.position = {};
  detect_ball(frames[0](region), ball);
  detect_ball(frames[1](region), ball);
  const track_point start{ball.position.x, ball.position.y};
  frames[0].release();
  frames[1].release();
  ball_track track;
  track_ball(std::span(frames).subspan(2), region, start, ball, track);
  return classify_pitch(track, pitcher_hand::right);
}

void time_bursts(benchmark::State& state, const std::array<cv::Mat, 11>& burst,
                 const cv::Rect& region) {
  cv::setNumThreads(static_cast<int>(state.range(0)));
  ball_state ball;
  make_ball_work_images(ball.work, region.size(), CV_8U);
  std::array<cv::Mat, 11> frames;
  pitch_type type = pitch_type::straight;
  for (auto _ : state) {
    state.PauseTiming();
    for (size_t i = 0; i < burst.size(); ++i) burst[i].copyTo(frames[i]);
    state.ResumeTiming();
    type = analyse_burst(frames, region, ball);
    benchmark::DoNotOptimize(type);
  }
  state.counters["curve"] = type == pitch_type::curve;
}

// Drawn balls the first pass finds, falling and drifting right on smooth ground.
void BM_burst_analysis(benchmark::State& state) {
  const cv::Rect region = ball_search_region({600, 300}, game_size);
  std::array<cv::Mat, 11> burst;
  for (int k = 1; k <= 11; ++k) {
    burst[k - 1] = smooth_ground({1920, 1080});
    draw_ball(burst[k - 1], {region.x + 300.5 + 3 * k, region.y + 40.5 + 6 * k});
  }
  time_bursts(state, burst, region);
}

// A right-hander's curve in the practice game, captured every 80 ms; its
// smaller balls are found by later passes.
void BM_burst_analysis_practice_game(benchmark::State& state) {
  const cv::Point origin(600, 300);
  const cv::Rect region = ball_search_region(origin, game_size);
  const practice::flight path = practice::make_flight(pitch_type::curve, practice::hand::right, 7);
  practice::render_cache cache;
  std::array<cv::Mat, 11> burst;
  for (int k = 0; k < 11; ++k) {
    practice::game_view view;
    view.screen = practice::game_screen::versus;
    view.pitcher_pose = practice::pose::finish;
    view.ball = practice::ball_at(path, 80 + 80 * k);
    cv::Mat picture;
    practice::render_game(view, cache, picture);
    burst[k] = cv::Mat(1080, 1920, CV_8UC3, cv::Scalar(48, 40, 32));
    picture.copyTo(burst[k](cv::Rect(origin, game_size)));
  }
  time_bursts(state, burst, region);
}

BENCHMARK(BM_detect_ball_first_pass_hit)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_detect_ball_nothing_smooth_ground)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_detect_ball_textured_ground)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_burst_analysis)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_burst_analysis_practice_game)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
