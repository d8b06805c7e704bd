// Every template check pitchlog makes, run on the practice game's screens with
// the shipped data/ pictures: it hits above its threshold where it must, and
// stays at or below it on every other view it can meet. Prints each margin.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include "control/templates/template_store.h"
#include "practice/renderer.h"
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

struct check_row {
  const char* name;
  const char* file;
  cv::Rect region;
  double threshold;
  bool (*meets)(const game_view&);  // the check can see this view
  bool (*hits)(const game_view&);   // and must hit it
  bool whole_area;                  // costly: run on a sample of the versus views
};

// clang-format off
const check_row check_rows[] = {
  {"versus ground", "グラウンド（対戦）画面・一部.png", {10, 70, 40, 80}, 0.75,
   [](const game_view&) { return true; }, versus, false},
  {"field ground", "グラウンド（フィールド）画面・一部.png", {0, 230, 70, 60}, 0.5,
   [](const game_view& v) { return scene_rank(v.screen) >= 2; },
   [](const game_view& v) { return v.screen == game_screen::field; }, false},
  {"time-out", "タイム画面・一部.png", {10, 0, 90, 60}, 0.5,
   [](const game_view& v) { return scene_rank(v.screen) >= 3; },
   [](const game_view& v) { return v.screen == game_screen::time_out; }, false},
  {"scoreboard", "スコアボード画面・一部.png", {370, 70, 60, 50}, 0.55,
   [](const game_view& v) { return scene_rank(v.screen) >= 4; },
   [](const game_view& v) { return v.screen == game_screen::scoreboard; }, false},
  {"opponent wait", "相手のタイム待ち画面・一部.png", {160, 210, 130, 50}, 0.75,
   [](const game_view& v) { return scene_rank(v.screen) >= 5; },
   [](const game_view& v) { return v.screen == game_screen::opponent_time_out_wait; }, false},
  {"title", "タイトル画面・一部.png", {170, 20, 130, 100}, 0.5,
   [](const game_view& v) { return scene_rank(v.screen) >= 6; },
   [](const game_view& v) { return v.screen == game_screen::title; }, false},
  {"game set", "ゲームセット画面・一部.png", {70, 310, 110, 40}, 0.75,
   [](const game_view& v) { return scene_rank(v.screen) >= 7; },
   [](const game_view& v) { return v.screen == game_screen::game_set; }, false},
  {"warning", "警告画面・一部.png", {280, 40, 130, 90}, 0.75,
   [](const game_view& v) { return scene_rank(v.screen) >= 8; },
   [](const game_view& v) { return v.screen == game_screen::warning; }, false},
  {"count 0-0", "０ボール０ストライク.png", {0, 0, 100, 130}, 0.9, versus,
   [](const game_view& v) { return v.balls == 0 && v.strikes == 0; }, false},
  {"two strikes", "２ストライク.png", {0, 0, 100, 130}, 0.75, versus,
   [](const game_view& v) { return v.strikes == 2; }, false},
  {"trigger right", "投球フィニッシュポーズ（右投手）・一部.png", {290, 150, 110, 100}, 0.6, versus,
   [](const game_view& v) { return finish(v) && right(v); }, false},
  {"trigger left", "投球フィニッシュポーズ（左投手）・一部.png", {290, 150, 110, 100}, 0.6,
   [](const game_view& v) { return versus(v) && !(finish(v) && right(v)); },
   [](const game_view& v) { return finish(v) && !right(v); }, false},
  {"end wait right", "投球フィニッシュポーズ（右投手）・一部.png", {290, 160, 120, 90}, 0.6,
   [](const game_view& v) { return versus(v) && right(v); }, finish, false},
  {"end wait left", "投球フィニッシュポーズ（左投手）・一部.png", {290, 160, 120, 90}, 0.6,
   [](const game_view& v) { return versus(v) && !right(v); }, finish, false},
  {"top sign", "オモテ.png", {60, 10, 80, 40}, 0.97, versus,
   [](const game_view& v) { return v.show_inning_sign && v.inning_half == half::top; }, false},
  {"bottom sign", "ウラ.png", {60, 10, 80, 40}, 0.97, versus,
   [](const game_view& v) { return v.show_inning_sign && v.inning_half == half::bottom; }, false},
  {"right sign", "右投手.png", {550, 20, 130, 50}, 0.97, versus,
   [](const game_view& v) { return v.show_hand_sign && right(v); }, false},
  {"left sign", "左投手.png", {550, 20, 130, 50}, 0.97, versus,
   [](const game_view& v) { return v.show_hand_sign && !right(v); }, false},
  {"play ball", "プレイボール画面・一部.png", {0, 0, 720, 480}, 0.7,
   [](const game_view&) { return true; },
   [](const game_view& v) { return v.screen == game_screen::play_ball; }, true},
  {"whole picture", "低め.png", {0, 0, 720, 480}, 0.5,
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

// Every count, outs, pose, hand and half of the versus view; names, balls,
// missing signs and noise vary along the way.
std::vector<game_view> versus_views() {
  std::vector<game_view> views;
  int i = 0;
  for (int balls = 0; balls <= 3; ++balls)
    for (int strikes = 0; strikes <= 2; ++strikes)
      for (int outs = 0; outs <= 2; ++outs)
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

cv::Mat load_reference(const std::string& file) {
  return pitchlog::colour_load((test_support::source_data_dir() / file).string());
}

struct tally {
  double lowest_hit = std::numeric_limits<double>::infinity();
  double highest_miss = -std::numeric_limits<double>::infinity();
  int hits = 0;
  int misses = 0;
};

TEST(ScreenChecks, EveryCheckHitsOnlyWhereItShould) {
  std::vector<game_view> views = other_screen_views();
  const std::vector<game_view> versus_all = versus_views();
  const std::size_t others = views.size();
  views.insert(views.end(), versus_all.begin(), versus_all.end());

  std::vector<cv::Mat> references;
  for (const check_row& row : check_rows) {
    references.push_back(load_reference(row.file));
    ASSERT_FALSE(references.back().empty()) << row.file;
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
      const double score = pitchlog::match_template(picture, row.region, references[r]).best_score;
      tally& t = tallies[r];
      if (row.hits(v)) {
        ++t.hits;
        t.lowest_hit = std::min(t.lowest_hit, score);
        EXPECT_TRUE(pitchlog::is_hit(score, row.threshold))
            << row.name << " misses view " << i << " (screen " << int(v.screen) << ", " << v.balls
            << "-" << v.strikes << ", pose " << int(v.pitcher_pose) << "): " << score;
      } else {
        ++t.misses;
        if (!std::isnan(score)) t.highest_miss = std::max(t.highest_miss, score);
        EXPECT_FALSE(pitchlog::is_hit(score, row.threshold))
            << row.name << " hits view " << i << " (screen " << int(v.screen) << ", " << v.balls
            << "-" << v.strikes << ", pose " << int(v.pitcher_pose) << "): " << score;
      }
    }
  }
  std::printf("%-14s %6s %9s %8s %9s %8s\n", "check", "thresh", "min hit", "margin", "max miss",
              "margin");
  for (std::size_t r = 0; r < std::size(check_rows); ++r) {
    const tally& t = tallies[r];
    const double threshold = check_rows[r].threshold;
    std::printf("%-14s %6.2f %9.4f %+8.4f %9.4f %+8.4f   (%d hit, %d miss views)\n",
                check_rows[r].name, threshold, t.lowest_hit, t.lowest_hit - threshold,
                t.highest_miss, threshold - t.highest_miss, t.hits, t.misses);
    EXPECT_GT(t.hits, 0) << check_rows[r].name;
    EXPECT_GT(t.misses, 0) << check_rows[r].name;
  }
}

// The pitcher-name crop of one pitcher matches his later frames at 0.95 or
// more, and every other pitcher's below 0.95.
TEST(ScreenChecks, NameCropTellsPitchersApart) {
  const cv::Rect name_region(545, 15, 90, 20);
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
      const double score = pitchlog::match_template(picture, name_region, crop).best_score;
      if (later.pitcher_name == first) {
        lowest_same = std::min(lowest_same, score);
        EXPECT_GE(score, 0.95) << first << " in view " << i;
      } else {
        highest_other = std::max(highest_other, score);
        EXPECT_LT(score, 0.95) << first << " vs " << later.pitcher_name;
      }
    }
  }
  std::printf("name crop: same pitcher min %.4f (margin %+.4f), other max %.4f (margin %+.4f)\n",
              lowest_same, lowest_same - 0.95, highest_other, 0.95 - highest_other);
}

// The coarse search over a half-size desktop and the refinement at full size
// lock onto the game picture wherever it lies on a 1920 x 1080 desktop.
TEST(ScreenChecks, WholePictureLocksOnEveryInGameScreen) {
  const cv::Mat half_reference = load_reference("resize-低め.png");
  const cv::Mat reference = load_reference("低め.png");
  ASSERT_EQ(half_reference.size(), cv::Size(360, 240));
  ASSERT_EQ(reference.size(), cv::Size(720, 480));
  std::vector<game_view> views = other_screen_views();
  const std::vector<game_view> versus_all = versus_views();
  for (std::size_t i = 0; i < versus_all.size(); i += 41) views.push_back(versus_all[i]);
  // Near the desktop's top-left corner the refinement window spans only a
  // pixel or two, so an odd offset there can fall outside it whatever the
  // picture shows; the offsets near that corner are even.
  const cv::Point offsets[] = {{0, 0}, {101, 0}, {333, 217}, {1200, 600}, {8, 598}, {960, 41}};
  practice::render_cache cache;
  cv::Mat picture, half_desktop;
  double lowest_coarse = 1.0, lowest_fine = 1.0;
  int n = 0;
  for (const game_view& v : views) {
    if (!in_game(v)) continue;
    practice::render_game(v, cache, picture);
    const cv::Point at = offsets[n++ % std::size(offsets)];
    cv::Mat desktop(1080, 1920, CV_8UC3, cv::Scalar(96, 80, 72));
    picture.copyTo(desktop(cv::Rect(at, picture.size())));
    cv::resize(desktop, half_desktop, cv::Size(960, 540), 0, 0, cv::INTER_LINEAR);
    const pitchlog::match_result coarse =
        pitchlog::match_template(half_desktop, cv::Rect(0, 0, 960, 540), half_reference);
    lowest_coarse = std::min(lowest_coarse, coarse.best_score);
    ASSERT_TRUE(pitchlog::is_hit(coarse.best_score, 0.5)) << "screen " << int(v.screen);
    // The refinement window from 1.8 to 2.2 times the coarse hit, clipped at the edges.
    const double hx = coarse.best_location.x, hy = coarse.best_location.y;
    const cv::Rect window(int(1.8 * hx), int(1.8 * hy),
                          1920 >= 2.2 * hx + 720 ? int(0.4 * hx + 720) : int(1920 - 1.8 * hx),
                          1080 >= 2.2 * hy + 480 ? int(0.4 * hy + 480) : int(1080 - 1.8 * hy));
    const pitchlog::match_result fine = pitchlog::match_template(desktop, window, reference);
    lowest_fine = std::min(lowest_fine, fine.best_score);
    EXPECT_TRUE(pitchlog::is_hit(fine.best_score, 0.5)) << "screen " << int(v.screen);
    EXPECT_EQ(window.tl() + fine.best_location, at) << "screen " << int(v.screen);
  }
  std::printf("coarse search min %.4f (margin %+.4f), refinement min %.4f (margin %+.4f)\n",
              lowest_coarse, lowest_coarse - 0.5, lowest_fine, lowest_fine - 0.5);
}

}  // namespace
