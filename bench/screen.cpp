// Cost of following the game on a 1920 x 1080 desktop with the practice game's
// pictures: one scene-loop pass in the versus view (what runs at every capture
// between pitches, capture excluded), and one whole locating attempt (three
// captures through "capture.bmp", the half-size copy through its file, and the
// coarse and fine searches), and the comparison of two half-size copies.
#include <filesystem>
#include <string>

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>

#include "practice/data_pictures.h"
#include "practice/desktop.h"
#include "practice/renderer.h"
#include "screen/coarse_reuse.h"
#include "screen/game_area_locator.h"
#include "screen/scene_recognizer.h"

namespace {

using namespace pitchlog;

const cv::Point origin(600, 300);

template_set practice_templates() {
  template_set set;
  for (int i = 0; i < template_count; ++i) {
    set.images[i] = practice::make_data_picture(practice::data_picture_table[i]);
  }
  return set;
}

void scene_pass_in_the_versus_view(benchmark::State& state) {
  const template_set templates = practice_templates();
  practice::game_view view;
  view.screen = practice::game_screen::versus;
  cv::Mat game;
  practice::render_game(view, game);
  cv::Mat capture(1080, 1920, CV_8UC3, cv::Scalar(48, 40, 32));
  game.copyTo(capture(cv::Rect(origin, game.size())));

  scene_state scene{.count_checked = true};
  for (auto _ : state) benchmark::DoNotOptimize(scene_pass(capture, templates, origin, scene));
}
BENCHMARK(scene_pass_in_the_versus_view)->Unit(benchmark::kMicrosecond);

void locating_attempt(benchmark::State& state) {
  const template_set templates = practice_templates();
  std::string error;
  std::optional<practice::scenario> game = practice::parse_scenario(
      R"({"desktop": {"game_x": 600, "game_y": 300},
          "timeline": [{"screen": "field", "ms": 3600000}]})",
      error);
  if (!game) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "pitchlog-bench-screen";
  std::filesystem::create_directories(dir);
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  practice::desktop desk = practice::make_desktop(*game);
  platform p;
  practice::connect_platform(desk, p);
  locator_state locator;
  for (auto _ : state) benchmark::DoNotOptimize(locate_game_area(p, templates, locator));

  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir);
}
BENCHMARK(locating_attempt)->Unit(benchmark::kMillisecond);

// Telling whether a locating attempt's half-size copy changed since the last
// one: two equal 960 x 540 copies, every byte compared.
void comparing_half_size_copies(benchmark::State& state) {
  cv::Mat last(540, 960, CV_8UC3);
  cv::randu(last, 0, 256);
  const cv::Mat fresh = last.clone();
  for (auto _ : state) benchmark::DoNotOptimize(changed_area(last, fresh));
}
BENCHMARK(comparing_half_size_copies)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
