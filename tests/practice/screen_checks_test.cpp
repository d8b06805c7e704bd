// Every template check pitchlog makes, run on the practice game's screens with
// the shipped data/ pictures: it hits above its threshold where it must, and
// stays at or below it on every other view it can meet. Prints each margin.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "control/templates/checks.h"
#include "control/templates/template_store.h"
#include "practice/renderer.h"
#include "screen/game_area_locator.h"
#include "support/test_support.h"

namespace {

using practice::game_screen;
using practice::game_view;
using practice::half;
using practice::hand;
using practice::pose;

// The order in which the scene checks run; screens no check knows come last.
int scene_rank(game_screen s) {
  switch (s) {
    case game_screen::versus:
      return 1;
    case game_screen::field:
      return 2;
    case game_screen::time_out:
      return 3;
    case game_screen::scoreboard:
      return 4;
    case game_screen::opponent_time_out_wait:
      return 5;
    case game_screen::title:
      return 6;
    case game_screen::game_set:
      return 7;
    case game_screen::warning:
      return 8;
    default:
      return 9;
  }
}

bool in_game(const game_view& v) {
  return v.screen != game_screen::title && v.screen != game_screen::warning;
}
bool versus(const game_view& v) {
  return v.screen == game_screen::versus;
}
bool finish(const game_view& v) {
  return versus(v) && v.pitcher_pose == pose::finish;
}
bool right(const game_view& v) {
  return v.pitcher_hand == hand::right;
}

using pitchlog::check_id;

// What the drawn picture lets each check see and what it must hit there; the
// regions, thresholds and pictures are pitchlog's own table of checks.
struct check_row {
  const char* name;
  check_id check;
  bool (*meets)(const game_view&);  // the check can see this view
  bool (*hits)(const game_view&);   // and must hit it
  bool whole_area;                  // costly: run on a sample of the versus views
};

// clang-format off
const check_row check_rows[] = {
  {"versus ground", check_id::versus_ground,
   [](const game_view&) { return true; }, versus, false},
  {"field ground", check_id::field_ground,
   [](const game_view& v) { return scene_rank(v.screen) >= 2; },
   [](const game_view& v) { return v.screen == game_screen::field; }, false},
  {"time-out", check_id::time_out,
   [](const game_view& v) { return scene_rank(v.screen) >= 3; },
   [](const game_view& v) { return v.screen == game_screen::time_out; }, false},
  {"scoreboard", check_id::scoreboard,
   [](const game_view& v) { return scene_rank(v.screen) >= 4; },
   [](const game_view& v) { return v.screen == game_screen::scoreboard; }, false},
  {"opponent wait", check_id::opponent_time_out_wait,
   [](const game_view& v) { return scene_rank(v.screen) >= 5; },
   [](const game_view& v) { return v.screen == game_screen::opponent_time_out_wait; }, false},
  {"title", check_id::title,
   [](const game_view& v) { return scene_rank(v.screen) >= 6; },
   [](const game_view& v) { return v.screen == game_screen::title; }, false},
  {"game set", check_id::game_set,
   [](const game_view& v) { return scene_rank(v.screen) >= 7; },
   [](const game_view& v) { return v.screen == game_screen::game_set; }, false},
  {"warning", check_id::warning,
   [](const game_view& v) { return scene_rank(v.screen) >= 8; },
   [](const game_view& v) { return v.screen == game_screen::warning; }, false},
  {"count 0-0", check_id::count_no_ball_no_strike, versus,
   [](const game_view& v) { return v.balls == 0 && v.strikes == 0; }, false},
  {"two strikes", check_id::count_two_strikes, versus,
   [](const game_view& v) { return v.strikes == 2; }, false},
  {"trigger right", check_id::finish_pose_right, versus,
   [](const game_view& v) { return finish(v) && right(v); }, false},
  {"trigger left", check_id::finish_pose_left,
   [](const game_view& v) { return versus(v) && !(finish(v) && right(v)); },
   [](const game_view& v) { return finish(v) && !right(v); }, false},
  {"end wait right", check_id::pitch_end_right,
   [](const game_view& v) { return versus(v) && right(v); }, finish, false},
  {"end wait left", check_id::pitch_end_left,
   [](const game_view& v) { return versus(v) && !right(v); }, finish, false},
  {"top sign", check_id::inning_top, versus,
   [](const game_view& v) { return v.show_inning_sign && v.inning_half == half::top; }, false},
  {"bottom sign", check_id::inning_bottom, versus,
   [](const game_view& v) { return v.show_inning_sign && v.inning_half == half::bottom; }, false},
  {"right sign", check_id::hand_right, versus,
   [](const game_view& v) { return v.show_hand_sign && right(v); }, false},
  {"left sign", check_id::hand_left, versus,
   [](const game_view& v) { return v.show_hand_sign && !right(v); }, false},
  {"play ball", check_id::play_ball,
   [](const game_view&) { return true; },
   [](const game_view& v) { return v.screen == game_screen::play_ball; }, true},
  // The refinement's picture over the game picture alone.
  {"whole picture", check_id::refinement,
   [](const game_view&) { return true; }, in_game, true},
};
// clang-format on

const char* const pitcher_names[] = {"TANAKA", "SUZUKI",   "SATO",     "SAITO",  "ITO",
                                     "KATO",   "WATANABE", "YAMAMOTO", "TANAKE", "KOBAYASHI"};

// A ball somewhere on its way from the release point to the plate.
practice::ball_view ball_on_path(int i) {
  const float t = (i % 11) / 10.0f;
  const float drift = ((i % 3) - 1) * 60.0f * t;
  return {true, 350.5f + drift, 177.0f + 25.5f + 95.0f * t, 6.0f + 7.0f * t};
}

// Every count, pose, hand and half of the versus view, with no or two outs;
// names, balls, missing signs and noise vary along the way.
std::vector<game_view> versus_views() {
  std::vector<game_view> views;
  int i = 0;
  for (int balls = 0; balls <= 3; ++balls)
    for (int strikes = 0; strikes <= 2; ++strikes)
      for (int outs : {0, 2})
        for (pose p : {pose::set, pose::take_back, pose::finish})
          for (hand h : {hand::right, hand::left})
            for (half f : {half::top, half::bottom}) {
              game_view v;
              v.screen = game_screen::versus;
              v.balls = balls;
              v.strikes = strikes;
              v.outs = outs;
              v.pitcher_pose = p;
              v.pitcher_hand = h;
              v.inning_half = f;
              v.inning = 1 + i % 12;
              v.pitcher_name = pitcher_names[i % 10];
              if (p == pose::finish) v.ball = ball_on_path(i);
              v.show_inning_sign = i % 23 != 5;
              v.show_hand_sign = i % 19 != 7;
              v.ignored_point_markers = i % 13 == 3;
              if (i % 4 == 1) {
                v.noise_amplitude = 3;
                v.noise_seed = static_cast<uint32_t>(i);
              }
              views.push_back(v);
              ++i;
            }
  return views;
}

std::vector<game_view> other_screen_views() {
  std::vector<game_view> views;
  for (int s = 0; s < practice::screen_count; ++s) {
    if (static_cast<game_screen>(s) == game_screen::versus) continue;
    for (int noise : {0, 3}) {
      game_view v;
      v.screen = static_cast<game_screen>(s);
      v.noise_amplitude = noise;
      v.noise_seed = 77u + static_cast<uint32_t>(s);
      views.push_back(v);
    }
  }
  return views;
}

cv::Mat load_reference(pitchlog::template_id id) {
  const std::string_view file = pitchlog::template_file_names[static_cast<int>(id)];
  return pitchlog::colour_load((test_support::source_data_dir() / file).string());
}

const cv::Size game_size(practice::game_width, practice::game_height);

// The score of a check on the game picture alone, at (0, 0); a check whose
// region the locator computes is matched over the whole picture.
double score_of(const cv::Mat& picture, const cv::Mat& reference,
                const pitchlog::template_check& c) {
  if (c.w == pitchlog::computed)
    return pitchlog::match_template(picture, cv::Rect({}, game_size), reference).best_score;
  return pitchlog::check_score(picture, reference, c, {0, 0}, game_size);
}

struct tally {
  double lowest_hit = std::numeric_limits<double>::infinity();
  double highest_miss = -std::numeric_limits<double>::infinity();
  int hits = 0;
  int misses = 0;
};

TEST(screen_checks, every_check_hits_only_where_it_should) {
  std::vector<game_view> views = other_screen_views();
  const std::vector<game_view> versus_all = versus_views();
  const std::size_t others = views.size();
  views.insert(views.end(), versus_all.begin(), versus_all.end());

  std::vector<cv::Mat> references;
  for (const check_row& row : check_rows) {
    references.push_back(load_reference(pitchlog::check_of(row.check).id));
    ASSERT_FALSE(references.back().empty()) << row.name;
  }
  std::vector<tally> tallies(std::size(check_rows));
  practice::render_cache cache;
  cv::Mat picture;
  for (std::size_t i = 0; i < views.size(); ++i) {
    const game_view& v = views[i];
    practice::render_game(v, cache, picture);
    for (std::size_t r = 0; r < std::size(check_rows); ++r) {
      const check_row& row = check_rows[r];
      if (!row.meets(v) || (row.whole_area && i >= others && i % 17 != 0)) continue;
      const pitchlog::template_check& check = pitchlog::check_of(row.check);
      const double score = score_of(picture, references[r], check);
      tally& t = tallies[r];
      if (row.hits(v)) {
        ++t.hits;
        t.lowest_hit = std::min(t.lowest_hit, score);
        EXPECT_TRUE(pitchlog::is_hit(score, check.threshold))
            << row.name << " misses view " << i << " (screen " << int(v.screen) << ", " << v.balls
            << "-" << v.strikes << ", pose " << int(v.pitcher_pose) << "): " << score;
      } else {
        ++t.misses;
        if (!std::isnan(score)) t.highest_miss = std::max(t.highest_miss, score);
        EXPECT_FALSE(pitchlog::is_hit(score, check.threshold))
            << row.name << " hits view " << i << " (screen " << int(v.screen) << ", " << v.balls
            << "-" << v.strikes << ", pose " << int(v.pitcher_pose) << "): " << score;
      }
    }
  }
  std::printf("%-14s %6s %9s %8s %9s %8s\n", "check", "thresh", "min hit", "margin", "max miss",
              "margin");
  for (std::size_t r = 0; r < std::size(check_rows); ++r) {
    const tally& t = tallies[r];
    const double threshold = pitchlog::check_of(check_rows[r].check).threshold;
    std::printf("%-14s %6.2f %9.4f %+8.4f %9.4f %+8.4f   (%d hit, %d miss views)\n",
                check_rows[r].name, threshold, t.lowest_hit, t.lowest_hit - threshold,
                t.highest_miss, threshold - t.highest_miss, t.hits, t.misses);
    EXPECT_GT(t.hits, 0) << check_rows[r].name;
    EXPECT_GT(t.misses, 0) << check_rows[r].name;
  }
}

// The pitcher-name crop of one pitcher matches his later frames at 0.95 or
// more, and every other pitcher's below 0.95.
TEST(screen_checks, name_crop_tells_pitchers_apart) {
  const pitchlog::template_check& name = pitchlog::check_of(check_id::pitcher_name);
  const cv::Rect name_region = pitchlog::check_region(name, {0, 0}, game_size);
  const std::vector<game_view> views = versus_views();
  practice::render_cache cache;
  cv::Mat picture;
  double lowest_same = 1.0, highest_other = -1.0;
  for (const char* first : pitcher_names) {
    game_view v;
    v.screen = game_screen::versus;
    v.pitcher_pose = pose::finish;
    v.pitcher_name = first;
    v.ball = ball_on_path(0);
    practice::render_game(v, cache, picture);
    const cv::Mat crop = picture(name_region).clone();
    for (std::size_t i = 0; i < views.size(); i += 5) {
      game_view later = views[i];
      later.pitcher_name = pitcher_names[(i / 5) % 10];
      practice::render_game(later, cache, picture);
      const double score = pitchlog::check_score(picture, crop, name, {0, 0}, game_size);
      // The same pitcher at the threshold or above, another one below it.
      if (later.pitcher_name == first) {
        lowest_same = std::min(lowest_same, score);
        EXPECT_GE(score, name.threshold) << first << " in view " << i;
      } else {
        highest_other = std::max(highest_other, score);
        EXPECT_LT(score, name.threshold) << first << " vs " << later.pitcher_name;
      }
    }
  }
  std::printf("name crop: same pitcher min %.4f (margin %+.4f), other max %.4f (margin %+.4f)\n",
              lowest_same, lowest_same - name.threshold, highest_other,
              name.threshold - highest_other);
}

// The coarse search over a half-size desktop and the refinement at full size
// lock onto the game picture wherever it lies on the desktop, flush with the
// right and bottom edges included (on 1366 x 768 the window's edge arithmetic
// has fractions in both axes there).
TEST(screen_checks, whole_picture_locks_on_every_in_game_screen) {
  const cv::Mat half_reference = load_reference(pitchlog::template_id::half_game_area);
  const cv::Mat reference = load_reference(pitchlog::template_id::game_area);
  ASSERT_EQ(half_reference.size(), cv::Size(360, 240));
  ASSERT_EQ(reference.size(), cv::Size(720, 480));
  const double coarse_threshold = pitchlog::check_of(check_id::coarse_search).threshold;
  const double fine_threshold = pitchlog::check_of(check_id::refinement).threshold;
  // Each other screen once, with or without noise, and a sample of versus views.
  std::vector<game_view> views;
  const std::vector<game_view> others = other_screen_views();
  for (std::size_t i = 0; i < others.size(); i += 2) views.push_back(others[i + i / 2 % 2]);
  const std::vector<game_view> versus_all = versus_views();
  for (std::size_t i = 0; i < versus_all.size(); i += 53) views.push_back(versus_all[i]);
  // Near the desktop's top-left corner the refinement window spans only a
  // pixel or two, so an odd offset there can fall outside it whatever the
  // picture shows; the offsets near that corner are even.
  struct desktop_case {
    cv::Size size;
    cv::Size half;  // trunc(size / 2)
    std::vector<cv::Point> offsets;
  };
  const desktop_case desktops[] = {
      {{1920, 1080}, {960, 540}, {{0, 0}, {101, 0}, {333, 217}, {1200, 600}, {8, 598}, {960, 41}}},
      {{1366, 768}, {683, 384}, {{646, 288}, {646, 0}, {0, 288}, {401, 233}}},
  };
  for (const desktop_case& d : desktops) ASSERT_EQ(pitchlog::half_size(d.size), d.half);
  practice::render_cache cache;
  cv::Mat picture, half_desktop;
  double lowest_coarse = 1.0, lowest_fine = 1.0;
  int n = 0;
  for (const game_view& v : views) {
    if (!in_game(v)) continue;
    // The desktops take turns, each cycling through its offsets.
    const desktop_case& d = desktops[n % 2];
    const cv::Point at = d.offsets[(n++ / 2) % d.offsets.size()];
    SCOPED_TRACE(testing::Message() << d.size << " at " << at << ", screen " << int(v.screen));
    practice::render_game(v, cache, picture);
    cv::Mat desktop(d.size, CV_8UC3, cv::Scalar(96, 80, 72));
    picture.copyTo(desktop(cv::Rect(at, picture.size())));
    cv::resize(desktop, half_desktop, d.half, 0, 0, cv::INTER_LINEAR);
    const pitchlog::match_result coarse =
        pitchlog::match_template(half_desktop, cv::Rect({}, d.half), half_reference);
    lowest_coarse = std::min(lowest_coarse, coarse.best_score);
    ASSERT_TRUE(pitchlog::is_hit(coarse.best_score, coarse_threshold));
    const cv::Rect window =
        pitchlog::refinement_window(coarse.best_location, d.size, reference.size());
    const pitchlog::match_result fine = pitchlog::match_template(desktop, window, reference);
    lowest_fine = std::min(lowest_fine, fine.best_score);
    EXPECT_TRUE(pitchlog::is_hit(fine.best_score, fine_threshold));
    EXPECT_EQ(pitchlog::locked_origin(coarse.best_location, fine.best_location), at);
  }
  std::printf("coarse search min %.4f (margin %+.4f), refinement min %.4f (margin %+.4f)\n",
              lowest_coarse, lowest_coarse - coarse_threshold, lowest_fine,
              lowest_fine - fine_threshold);
}

}  // namespace
