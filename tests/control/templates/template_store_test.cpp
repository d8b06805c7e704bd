// Reference pictures: the start-up check, the two load modes, and the matcher
// on good and bad regions.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "control/templates/template_store.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using namespace pitchlog;

namespace {

// Fills data/ with all eighteen pictures, each a small image of its own
// colour, except `missing` (absent) and `corrupt` (not a PNG).
void write_data_folder(std::optional<template_id> missing, std::optional<template_id> corrupt) {
  fs::create_directory("data");
  for (int i = 0; i < template_count; ++i) {
    const std::string path = data_path(template_file_names[i]);
    if (missing && static_cast<int>(*missing) == i) continue;
    if (corrupt && static_cast<int>(*corrupt) == i) {
      std::ofstream(path) << "not a picture";
      continue;
    }
    ASSERT_TRUE(cv::imwrite(path, cv::Mat(4 + i, 6, CV_8UC3, cv::Scalar(i, 2 * i, 3 * i))));
  }
}

struct load_case {
  const char* name;
  std::optional<template_id> missing, corrupt;
  bool all_loaded;
};

void PrintTo(const load_case& c, std::ostream* os) {
  *os << c.name;
}

class template_set_load : public ::testing::TestWithParam<load_case> {};

TEST_P(template_set_load, tries_every_picture_and_flags_any_gap) {
  const load_case c = GetParam();
  test_support::scoped_work_dir dir;
  write_data_folder(c.missing, c.corrupt);
  template_set set;
  EXPECT_EQ(load_template_set(set), c.all_loaded);
  for (int i = 0; i < template_count; ++i) {
    const bool absent = (c.missing && static_cast<int>(*c.missing) == i) ||
                        (c.corrupt && static_cast<int>(*c.corrupt) == i);
    EXPECT_EQ(set.images[i].empty(), absent) << template_file_names[i];
    if (!absent) {
      EXPECT_EQ(set.images[i].type(), CV_8UC3);
      EXPECT_EQ(set.images[i].rows, 4 + i) << "loaded in table order";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    folders, template_set_load,
    ::testing::Values(load_case{"complete", std::nullopt, std::nullopt, true},
                      load_case{"last_missing", template_id::half_game_area, std::nullopt, false},
                      load_case{"first_missing", template_id::game_area, std::nullopt, false},
                      load_case{"ball_count_missing", template_id::ball_count, std::nullopt, false},
                      load_case{"take_back_right_missing", template_id::take_back_pose_right,
                                std::nullopt, false},
                      load_case{"take_back_left_missing", template_id::take_back_pose_left,
                                std::nullopt, false},
                      load_case{"title_corrupt", std::nullopt, template_id::title, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A 200 x 150 noise frame, and templates cut from it or made up.
struct match_case {
  const char* name;
  cv::Rect region;
  cv::Rect cut;  // where the template comes from; empty: use `made_up`
  int made_up;   // 0 empty template, 1 grey template, 2 template of 120 x 10
  bool frame_empty;
  bool expect_hit;
  cv::Point best_location;
  cv::Size score_map;  // size of the map the scores came from (1 x 1: one score)
};

void PrintTo(const match_case& c, std::ostream* os) {
  *os << c.name;
}

class matcher : public ::testing::TestWithParam<match_case> {};

TEST_P(matcher, finds_the_template_or_misses_with_nan) {
  const match_case c = GetParam();
  cv::Mat frame(150, 200, CV_8UC3);
  cv::randu(frame, 0, 256);
  const cv::Mat before = frame.clone();
  cv::Mat templ;
  if (!c.cut.empty()) {
    templ = frame(c.cut).clone();
  } else if (c.made_up == 1) {
    templ = cv::Mat(10, 10, CV_8UC1, cv::Scalar(9));
  } else if (c.made_up == 2) {
    templ = cv::Mat(10, 120, CV_8UC3, cv::Scalar(9, 9, 9));
  }
  const match_result r = match_template(c.frame_empty ? cv::Mat() : frame, c.region, templ);
  if (!c.expect_hit) {
    EXPECT_TRUE(std::isnan(r.best_score));
    EXPECT_FALSE(is_hit(r.best_score, -1.0));
    return;
  }
  EXPECT_NEAR(r.best_score, 1.0, 1e-5);
  EXPECT_EQ(r.best_location, c.best_location);
  if (c.score_map == cv::Size(1, 1)) {
    EXPECT_EQ(r.worst_score, r.best_score);
    EXPECT_EQ(r.worst_location, cv::Point(0, 0));
  } else {
    EXPECT_LT(r.worst_score, 0.5);
    EXPECT_LT(r.worst_location.x, c.score_map.width);
    EXPECT_LT(r.worst_location.y, c.score_map.height);
  }
  EXPECT_EQ(cv::norm(frame, before, cv::NORM_INF), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    regions, matcher,
    ::testing::Values(
        match_case{
            "equal_size", {70, 40, 40, 80}, {70, 40, 40, 80}, 0, false, true, {0, 0}, {1, 1}},
        match_case{"inside_region",
                   {50, 30, 100, 110},
                   {70, 40, 40, 80},
                   0,
                   false,
                   true,
                   {20, 10},
                   {61, 31}},
        match_case{"whole_frame",
                   {0, 0, 200, 150},
                   {159, 69, 41, 81},
                   0,
                   false,
                   true,
                   {159, 69},
                   {160, 70}},
        match_case{"past_right_edge", {180, 0, 40, 80}, {0, 0, 20, 20}, 0, false, false, {}, {}},
        match_case{"past_bottom_edge", {0, 100, 40, 80}, {0, 0, 20, 20}, 0, false, false, {}, {}},
        match_case{"negative_origin", {-1, 0, 40, 80}, {0, 0, 20, 20}, 0, false, false, {}, {}},
        match_case{"template_larger", {0, 0, 100, 100}, {}, 2, false, false, {}, {}},
        match_case{"template_taller", {0, 0, 40, 79}, {70, 40, 40, 80}, 0, false, false, {}, {}},
        match_case{"empty_template", {0, 0, 40, 80}, {}, 0, false, false, {}, {}},
        match_case{"one_channel_template", {0, 0, 40, 80}, {}, 1, false, false, {}, {}},
        match_case{"empty_frame", {0, 0, 40, 80}, {0, 0, 20, 20}, 0, true, false, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
