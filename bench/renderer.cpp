// Cost of drawing one practice-game picture: a versus-view frame from a warm
// render cache (what the desktop and the live player pay per frame), the same
// with pixel noise, and a frame drawn afresh without a cache.
#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "practice/renderer.h"

namespace {

practice::game_view pitch_frame(int i) {
  practice::game_view v;
  v.screen = practice::game_screen::versus;
  v.balls = i % 4;
  v.strikes = i % 3;
  v.pitcher_pose = practice::pose::finish;
  v.pitcher_name = "TANAKA";
  v.ball = {true, 350.0f + i % 40, 200.0f + i % 90, 6.0f + (i % 90) / 12.0f};
  return v;
}

void versus_frame_from_cache(benchmark::State& state) {
  practice::render_cache cache;
  cv::Mat picture;
  int i = 0;
  for (auto _ : state) {
    practice::render_game(pitch_frame(i++), cache, picture);
    benchmark::DoNotOptimize(picture.data);
  }
}
BENCHMARK(versus_frame_from_cache)->Unit(benchmark::kMicrosecond);

void versus_frame_with_noise(benchmark::State& state) {
  practice::render_cache cache;
  cv::Mat picture;
  int i = 0;
  for (auto _ : state) {
    practice::game_view v = pitch_frame(i);
    v.noise_amplitude = 2;
    v.noise_seed = static_cast<uint32_t>(i++);
    practice::render_game(v, cache, picture);
    benchmark::DoNotOptimize(picture.data);
  }
}
BENCHMARK(versus_frame_with_noise)->Unit(benchmark::kMicrosecond);

void versus_frame_without_cache(benchmark::State& state) {
  cv::Mat picture;
  int i = 0;
  for (auto _ : state) {
    practice::render_game(pitch_frame(i++), picture);
    benchmark::DoNotOptimize(picture.data);
  }
}
BENCHMARK(versus_frame_without_cache)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
