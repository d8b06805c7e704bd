#pragma once
// A synthetic game for the screen-tracking and main-loop tests: reference
// pictures of seeded noise, a game picture whose screens are those pictures
// pasted at their regions, desktops holding it anywhere, and a fake desktop
// that hands a list of screens to the platform one grab at a time.
#include <algorithm>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "control/capture/platform.h"
#include "control/capture/screen_capture.h"
#include "control/templates/template_store.h"
#include "support/ball_pictures.h"

namespace synthetic {

using pitchlog::template_id;

inline constexpr int game_width = 720;
inline constexpr int game_height = 480;

inline cv::Mat noise(cv::Size size, uint64_t seed) {
  cv::Mat m(size, CV_8UC3);
  cv::RNG rng(seed);
  rng.fill(m, cv::RNG::UNIFORM, 0, 256);
  return m;
}

using test_support::marked_pixels;
using test_support::smooth_ground;

// Ball radius at which the circle search finds the drawn ball in its first pass.
inline constexpr double ball_radius = 12.5;

// Where each picture is pasted in the game picture (inside its check region,
// clear of the pictures that may show with it).
struct placement {
  cv::Size size;
  cv::Point at;
};

inline const std::map<template_id, placement>& placements() {
  static const std::map<template_id, placement> table = {
      {template_id::count_no_ball_no_strike, {{45, 55}, {5, 5}}},
      {template_id::count_two_strikes, {{45, 55}, {52, 60}}},
      {template_id::ball_count, {{20, 20}, {0, 0}}},
      {template_id::versus_ground, {{30, 70}, {15, 75}}},
      {template_id::field_ground, {{60, 50}, {5, 235}}},
      {template_id::time_out, {{80, 50}, {15, 5}}},
      {template_id::scoreboard, {{50, 40}, {375, 75}}},
      {template_id::title, {{120, 90}, {175, 25}}},
      {template_id::warning, {{120, 80}, {285, 45}}},
      {template_id::finish_pose_right, {{100, 80}, {295, 165}}},
      {template_id::finish_pose_left, {{100, 80}, {295, 165}}},
      {template_id::game_set, {{100, 30}, {75, 315}}},
      {template_id::play_ball, {{300, 70}, {210, 100}}},
      {template_id::opponent_time_out_wait, {{120, 40}, {165, 215}}},
      {template_id::take_back_pose_right, {{20, 20}, {0, 0}}},
      {template_id::take_back_pose_left, {{20, 20}, {0, 0}}},
  };
  return table;
}

enum class sign { top, bottom, right_hand, left_hand };
inline const std::map<sign, placement>& sign_placements() {
  static const std::map<sign, placement> table = {
      {sign::top, {{35, 30}, {62, 15}}},
      {sign::bottom, {{35, 30}, {100, 15}}},
      {sign::right_hand, {{60, 25}, {552, 42}}},
      {sign::left_hand, {{60, 25}, {615, 42}}},
  };
  return table;
}
inline const char* sign_file(sign s) {
  switch (s) {
    case sign::top:
      return "オモテ.png";
    case sign::bottom:
      return "ウラ.png";
    case sign::right_hand:
      return "右投手.png";
    case sign::left_hand:
      return "左投手.png";
  }
  return "";
}
inline cv::Mat sign_picture(sign s) {
  return noise(sign_placements().at(s).size, 500 + static_cast<int>(s));
}

// The bare game picture: texture above the ball search rows, smooth ground in them.
inline const cv::Mat& bare_game() {
  static const cv::Mat game = [] {
    cv::Mat g(game_height, game_width, CV_8UC3);
    cv::Mat texture = noise(g.size(), 7);
    cv::GaussianBlur(texture, texture, cv::Size(0, 0), 4.0);
    cv::normalize(texture, g, 0, 255, cv::NORM_MINMAX);
    smooth_ground({game_width, game_height - 170}).copyTo(g.rowRange(170, game_height));
    return g;
  }();
  return game;
}

inline pitchlog::template_set make_templates() {
  pitchlog::template_set set;
  for (const auto& [id, p] : placements())
    set.images[static_cast<int>(id)] = noise(p.size, 100 + static_cast<int>(id));
  const cv::Mat game = bare_game().clone();
  set.images[static_cast<int>(template_id::game_area)] = game;
  cv::Mat half;
  cv::resize(game, half, {game_width / 2, game_height / 2}, 0, 0, cv::INTER_AREA);
  set.images[static_cast<int>(template_id::half_game_area)] = half;
  return set;
}

// Writes the eighteen pictures and the four signs into `dir`/data.
inline void write_data_folder(const pitchlog::template_set& set, const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir / "data");
  for (int i = 0; i < pitchlog::template_count; ++i) {
    cv::imwrite((dir / "data" / std::string(pitchlog::template_file_names[i])).string(),
                set.images[i]);
  }
  for (sign s : {sign::top, sign::bottom, sign::right_hand, sign::left_hand}) {
    cv::imwrite((dir / "data" / sign_file(s)).string(), sign_picture(s));
  }
}

// What one game picture shows.
struct view {
  std::vector<template_id> shown = {};  // pictures pasted at their places
  std::vector<sign> signs = {};
  int pitcher = -1;                     // name strip of this pitcher (-1: none)
  std::vector<cv::Point2d> balls = {};  // in game-picture pixels
};

inline void paste(cv::Mat& game, const cv::Mat& picture, cv::Point at) {
  picture.copyTo(game(cv::Rect(at, picture.size())));
}

inline cv::Mat name_strip(int pitcher) {
  return noise({90, 20}, 900 + pitcher);
}

inline cv::Mat game_picture(const pitchlog::template_set& set, const view& v) {
  cv::Mat game = set[template_id::game_area].clone();
  for (template_id id : v.shown) paste(game, set[id], placements().at(id).at);
  for (sign s : v.signs) paste(game, sign_picture(s), sign_placements().at(s).at);
  if (v.pitcher >= 0) paste(game, name_strip(v.pitcher), {545, 15});
  for (const cv::Point2d& b : v.balls) test_support::draw_ball(game, b, ball_radius);
  return game;
}

// A desktop of `size` with `game` at `origin` (nothing: background only).
inline cv::Mat desktop(cv::Size size, cv::Point origin, const cv::Mat& game) {
  static std::map<std::pair<int, int>, cv::Mat> backgrounds;  // made once per size
  cv::Mat& background = backgrounds[{size.width, size.height}];
  if (background.empty()) {
    cv::Mat texture = noise(size, 3);
    cv::GaussianBlur(texture, texture, cv::Size(0, 0), 6.0);
    cv::addWeighted(cv::Mat(size, CV_8UC3, cv::Scalar(90, 60, 40)), 0.5, texture, 0.5, 0,
                    background);
  }
  cv::Mat d = background.clone();
  if (!game.empty()) paste(d, game, origin);
  return d;
}

// Hands its screens to the platform's grab one at a time (BGR pictures turned
// into bottom-up padded rows); once they run out, grabs fail. Pauses only
// count: nothing really sleeps.
struct fake_desktop {
  std::deque<cv::Mat> screens;
  std::vector<uint8_t> rows;
  int grabs = 0;
  std::vector<int> pauses;

  void add(const cv::Mat& screen, int times = 1) {
    for (int i = 0; i < times; ++i) screens.push_back(screen);
  }

  bool grab(pitchlog::screen_grab& g) {
    if (screens.empty()) return false;
    const cv::Mat screen = screens.front();
    screens.pop_front();
    ++grabs;
    const int stride = pitchlog::bmp_stride(screen.cols);
    rows.assign(static_cast<size_t>(stride) * screen.rows, 0);
    for (int y = 0; y < screen.rows; ++y) {
      std::copy_n(screen.ptr<uint8_t>(y), screen.cols * 3,
                  rows.data() + static_cast<size_t>(stride) * (screen.rows - 1 - y));
    }
    g = {screen.cols, screen.rows, rows.data()};
    return true;
  }

  pitchlog::platform make_platform() {
    pitchlog::platform p;
    p.source.grab = [this](pitchlog::screen_grab& g) { return grab(g); };
    p.source.pause = [this](int ms) { pauses.push_back(ms); };
    return p;
  }
};

}  // namespace synthetic
