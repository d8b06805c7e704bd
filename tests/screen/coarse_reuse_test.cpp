// The locator's reuse against a full search, on drawn 1920 x 1080 desktops in
// virtual time: every attempt must decide as a full search of its picture does.
#include "screen/coarse_reuse.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "control/capture/screen_capture.h"
#include "control/templates/template_store.h"
#include "screen/game_area_locator.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
const cv::Size screen(1920, 1080);

cv::Mat data_picture(const char* name) {
  return cv::imread((test_support::source_data_dir() / name).string(), cv::IMREAD_COLOR);
}

// A desktop: a wallpaper (plain, or shaded with a window of text).
cv::Mat wallpaper(bool plain) {
  cv::Mat d(screen, CV_8UC3, cv::Scalar(90, 60, 40));
  if (plain) return d;
  for (int y = 0; y < d.rows; ++y) d.row(y).setTo(cv::Scalar(60 + y / 9, 70, 110 - y / 12));
  cv::rectangle(d, cv::Rect(1100, 120, 640, 420), cv::Scalar(235, 235, 235), -1);
  for (int i = 0; i < 14; ++i)
    cv::putText(d, "line " + std::to_string(i * 7919), {1120, 170 + 26 * i}, cv::FONT_HERSHEY_PLAIN,
                1.2, cv::Scalar(20, 20, 20));
  return d;
}

void clock(cv::Mat& d, int second) {
  const std::string text =
      "12:" + std::to_string(34 + second / 60) + ":" + std::to_string(10 + second % 50);
  cv::rectangle(d, cv::Rect(1790, 1044, 130, 36), cv::Scalar(30, 30, 30), -1);
  cv::putText(d, text, {1800, 1070}, cv::FONT_HERSHEY_SIMPLEX, 0.7, cv::Scalar(250, 250, 250), 2);
}

// The game picture at `at`, blended into the desktop with weight `alpha`.
void game(cv::Mat& d, cv::Point at, double alpha = 1.0, cv::Rect part = {0, 0, 720, 480}) {
  static const cv::Mat picture = data_picture("低め.png");
  cv::Mat area = d(cv::Rect(at + part.tl(), part.size()));
  cv::addWeighted(picture(part), alpha, area, 1.0 - alpha, 0.0, area);
}

struct desktop_row {
  const char* name;
  int frames;
  std::function<void(cv::Mat&, int)> draw;  // onto the wallpaper, frame f
  bool plain = false;
};

TEST(coarse_reuse, decides_as_a_full_search_on_every_frame) {
  const cv::Mat templ = data_picture("resize-低め.png");
  ASSERT_FALSE(templ.empty());
  const desktop_row rows[] = {
      {"still", 4, [](cv::Mat&, int) {}},
      {"a clock ticking in a corner", 6, [](cv::Mat& d, int f) { clock(d, f); }},
      {"a clock on a plain desktop", 4, [](cv::Mat& d, int f) { clock(d, f); }, true},
      {"a window moving", 6,
       [](cv::Mat& d, int f) {
         cv::rectangle(d, cv::Rect(90 + 131 * f, 300 + 37 * f, 420, 300), cv::Scalar(200, 90, 9),
                       9);
       }},
      {"a video playing in a quarter of the screen", 6,
       [](cv::Mat& d, int f) {  // 480 x 270, bottom-right: blobs over a shifting shade
         cv::Mat v = d(cv::Rect(1440, 810, 480, 270));
         v.setTo(cv::Scalar(9 * f % 256, 80, 160));
         for (int i = 0; i < 5; ++i)
           cv::circle(v, {(60 + 97 * i + 23 * f) % 480, (40 + 51 * i + 11 * f) % 270}, 30,
                      cv::Scalar(250, 220 - 40 * i, 40 * i), -1);
       }},
      {"the game appearing, a clock ticking", 6,
       [](cv::Mat& d, int f) {
         clock(d, f);
         if (f >= 3) game(d, {417, 233});
       }},
      // Scores 0.469 (the clock in it adds 0.0005), then 0.506: a hit from a change of few windows.
      {"the game in a corner faded into noise below the threshold, then a corner of it clearing", 4,
       [](cv::Mat& d, int f) {
         cv::Mat noise(480, 720, CV_8UC3);
         cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 256);
         noise.copyTo(d(cv::Rect(1200, 600, 720, 480)));
         game(d, {1200, 600}, 0.31);
         if (f >= 2) game(d, {1200, 600}, 1.0, cv::Rect(480, 320, 240, 160));
         clock(d, f);
       }},
  };
  int reused = 0, hits = 0;
  for (const desktop_row& row : rows) {
    coarse_memory memory;
    for (int f = 0; f < row.frames; ++f) {
      SCOPED_TRACE(testing::Message() << row.name << ", frame " << f);
      cv::Mat desktop = wallpaper(row.plain);
      row.draw(desktop, f);
      cv::Mat half;
      cv::resize(desktop, half, half_size(screen), 0, 0, cv::INTER_LINEAR);
      const match_result full = match_template(half, cv::Rect(0, 0, half.cols, half.rows), templ);
      coarse_path path;
      const coarse_answer answer = coarse_search_reusing(half, templ, memory, &path);
      ASSERT_EQ(answer.hit, full.best_score > 0.5) << "full search's best " << full.best_score;
      if (answer.hit) {
        EXPECT_EQ(answer.location, full.best_location);
      }
      hits += answer.hit;
      reused += path != coarse_path::full_search;
      const std::string name = row.name;
      if (f > 0 && (name == "still" || name == "a clock ticking in a corner")) {
        EXPECT_EQ(path, name == "still" ? coarse_path::same_picture : coarse_path::changed_windows);
      }
    }
  }
  EXPECT_GE(hits, 5);     // three of the game appearing, two of its corner clearing
  EXPECT_GE(reused, 15);  // the table must exercise the reuse, not only full searches
}

TEST(coarse_reuse, changed_area_bounds_every_changed_byte) {
  const cv::Mat base(40, 60, CV_8UC3, cv::Scalar(9, 9, 9));
  // Pixels changed in their last byte only, and the rectangle bounding them.
  const std::pair<std::vector<cv::Point>, cv::Rect> rows[] = {
      {{}, {}},
      {{{0, 0}}, {0, 0, 1, 1}},
      {{{59, 39}}, {59, 39, 1, 1}},
      {{{10, 30}, {50, 5}}, {10, 5, 41, 26}},
      {{{31, 7}, {30, 8}, {32, 8}}, {30, 7, 3, 2}},
  };
  for (const auto& [changed, area] : rows) {
    cv::Mat picture = base.clone();
    for (const cv::Point& at : changed) picture.at<cv::Vec3b>(at)[2] = 10;
    EXPECT_EQ(changed_area(base, picture), area) << area;
  }
}

TEST(coarse_reuse, window_spreads_are_the_matchers_denominators) {
  cv::Mat picture(30, 40, CV_8UC3), templ(8, 12, CV_8UC3);
  cv::RNG(3).fill(picture, cv::RNG::UNIFORM, 0, 256);
  cv::RNG(4).fill(templ, cv::RNG::UNIFORM, 0, 256);
  picture(cv::Rect(20, 15, 20, 15)).setTo(cv::Scalar(1, 2, 3));  // windows of one colour there
  const cv::Mat spreads = window_spreads(picture, cv::Rect(5, 4, 24, 15), templ);
  // sqrt(sum of squared deviations of the window * that of the template), all channels.
  const auto deviation = [](const cv::Mat& m) {
    cv::Scalar mean, sd;
    cv::meanStdDev(m, mean, sd);
    return (sd[0] * sd[0] + sd[1] * sd[1] + sd[2] * sd[2]) * static_cast<double>(m.total());
  };
  ASSERT_EQ(spreads.size(), cv::Size(24, 15));
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 24; ++x)
      ASSERT_NEAR(spreads.at<float>(y, x),
                  std::sqrt(deviation(picture(cv::Rect(5 + x, 4 + y, 12, 8))) * deviation(templ)),
                  1e-3 * spreads.at<float>(y, x) + (x >= 15 && y >= 11 ? 0 : 1))
          << x << ", " << y;  // exactly 0 for the windows of one colour
}

// The two pictures a locating stage matches.
template_set locating_templates() {
  template_set templates;
  templates.images[static_cast<int>(template_id::game_area)] = data_picture("低め.png");
  templates.images[static_cast<int>(template_id::half_game_area)] = data_picture("resize-低め.png");
  return templates;
}

// Whole locating stages in virtual time: a still desktop for 1.5 s, then the
// game picture; a stage that has not locked by 6 s ends on a failed grab.
// Reports that missed the game's appearance lose their trust, and the misses
// counted on their word; one that came after the question and with the
// capture that shows the change does not.
TEST(coarse_reuse, whole_stages_lock_as_without_reuse_and_skip_still_captures) {
  const test_support::scoped_work_dir dir;
  const template_set templates = locating_templates();
  cv::Mat still = wallpaper(false), shown = still.clone();
  game(shown, {417, 233});
  cv::flip(still, still, 0);  // bottom-up rows, 5760 bytes each: no padding
  cv::flip(shown, shown, 0);
  struct row {
    const char* name;
    attempt_reuse reuse;
    bool lying_reports;         // the screen always reported unchanged
    bool reported_at_capture;   // yet the change reported with the capture that shows it
    int64_t remove_capture_at;  // "capture.bmp" removed from outside then
    int most_still_grabs;       // of about 22 attempts on the still desktop
    int64_t latest_lock;        // time of the lock's first capture, at most
  } rows[] = {
      {"today's full searches", attempt_reuse::none, false, false, -1, 30, 1500 + 68},
      {"reuse, true change reports", attempt_reuse::known_results, false, false, -1, 3, 1500 + 68},
      {"reuse, capture.bmp removed", attempt_reuse::known_results, false, false, 700, 4, 1500 + 68},
      {"reuse, reports that miss a change", attempt_reuse::known_results, true, false, -1, 3,
       1500 + 16 * 68},
      {"reuse, a change reported after the question", attempt_reuse::known_results, true, true, -1,
       3, 1500 + 16 * 68},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    int64_t now = 0, last_grab = -1, removed_at = -1, grab_after_removal = -1;
    int still_grabs = 0;
    const auto at = [&](int64_t t) { return t < 1500 ? still.data : shown.data; };
    platform p;
    p.source.grab = [&](screen_grab& g) {
      if (now > 6000) return false;
      still_grabs += now < 1500;
      if (removed_at >= 0 && grab_after_removal < 0) grab_after_removal = now;
      g = {screen.width, screen.height, at(now), false};
      last_grab = now;
      now += 8;
      return true;
    };
    p.source.pause = [&](int ms) {
      now += ms;
      if (r.remove_capture_at >= 0 && removed_at < 0 && now >= r.remove_capture_at) {
        std::filesystem::remove(capture_file_name);
        removed_at = now;
      }
    };
    p.source.unchanged = [&] {
      return last_grab >= 0 && now <= 6000 && (r.lying_reports || at(last_grab) == at(now));
    };
    p.source.change_reported_before_grab = [&] {
      return r.reported_at_capture && last_grab >= 1500;
    };
    locator_state locator{.locator_miss_count = 30};
    const lock_result lock = locate_game_area(p, templates, locator, r.reuse);
    ASSERT_EQ(lock.outcome, locate_outcome::locked);
    EXPECT_EQ(locator.game_origin, cv::Point(417, 233));
    const bool trusted = !r.lying_reports || r.reported_at_capture;
    EXPECT_EQ(lock.empty_record, trusted);  // fifty misses, unless some were taken back
    EXPECT_LE(still_grabs, r.most_still_grabs);
    EXPECT_LE(now, r.latest_lock + 3 * 68);  // then the refinement and play-ball captures
    EXPECT_EQ(locator.trusts_unchanged_screen, trusted);
    EXPECT_LE(grab_after_removal - removed_at, 68) << "no capture after the removal";
  }
}

// The game hidden on a still desktop whose captures take 100 ms besides their
// pause, in virtual time: with reuse the fiftieth miss, after which a lock
// empties the record, comes when it comes with a full search at every attempt.
TEST(coarse_reuse, misses_count_at_the_pace_of_full_searches) {
  const test_support::scoped_work_dir dir;
  const template_set templates = locating_templates();
  cv::Mat still;
  cv::resize(wallpaper(false), still, {960, 540});
  int64_t fiftieth[2] = {-1, -1};
  for (const attempt_reuse reuse : {attempt_reuse::none, attempt_reuse::known_results}) {
    SCOPED_TRACE(reuse == attempt_reuse::none ? "full searches" : "reuse");
    int64_t now = 0, last_grab = -1;
    int64_t& at_fifty = fiftieth[reuse == attempt_reuse::none ? 0 : 1];
    locator_state locator;
    // Called at the start of every attempt: notes the time of the fiftieth
    // miss, and ends the stage there.
    const auto still_counting = [&] {
      if (at_fifty < 0 && locator.locator_miss_count == locator_miss_limit) at_fifty = now;
      return at_fifty < 0;
    };
    platform p;
    p.now_us = [&] { return now * 1000; };
    p.source.pause = [&](int ms) { now += ms; };
    p.source.grab = [&](screen_grab& g) {
      if (!still_counting()) return false;
      g = {still.cols, still.rows, still.data, false};
      last_grab = now;
      now += 100;
      return true;
    };
    p.source.unchanged = [&] { return still_counting() && last_grab >= 0; };
    EXPECT_EQ(locate_game_area(p, templates, locator, reuse).outcome,
              locate_outcome::capture_failed);
  }
  EXPECT_EQ(fiftieth[0], 50 * 160);
  EXPECT_NEAR(fiftieth[1], fiftieth[0], 160);
}

}  // namespace
