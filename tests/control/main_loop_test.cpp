#include "control/main_loop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>

#include "control/capture/shift_jis.h"
#include "screen/synthetic_game.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
using synthetic::sign;
using id = template_id;

// A whole run on a fake desktop of 800 x 560 with the game at (40, 30), on the
// synthetic pictures; `run()` ends with -1 once the screens run out, unless an
// earlier exit is taken.
struct loop_run {
  test_support::scoped_work_dir dir;
  synthetic::fake_desktop desk;
  platform p = desk.make_platform();
  std::ostringstream console;
  std::unique_ptr<watcher> w = std::make_unique<watcher>();
  cv::Point origin{40, 30};
  std::vector<std::pair<std::string, cv::Mat>> shown;
  int key_waits = 0;

  loop_run() {
    w->templates = synthetic::make_templates();
    make_ball_work_images(w->ball.work, {synthetic::game_width, 302}, CV_8U);
    synthetic::write_data_folder(w->templates, dir.path());
    p.console = &console;
    p.show_image = [this](const std::string& window, const cv::Mat& image) {
      shown.emplace_back(window, image.clone());
    };
    p.wait_key = [this] { ++key_waits; };
  }

  cv::Mat screen(synthetic::view v) const {
    return synthetic::desktop({800, 560}, origin, synthetic::game_picture(w->templates, v));
  }
  void lock() { desk.add(screen({}), 3); }
  // The finish pose, then a burst whose frames show these signs, pitcher 1, and
  // the ball standing still (a straight ball) in the first `ball_frames`.
  void pitch(id pose, std::vector<sign> signs, int ball_frames = burst_length) {
    desk.add(screen({.shown = {id::versus_ground, pose}}));
    const synthetic::view with_ball{
        .shown = {id::versus_ground}, .signs = signs, .pitcher = 1, .balls = {{300.5, 320.5}}};
    desk.add(screen(with_ball), ball_frames);
    desk.add(screen({.shown = {id::versus_ground}, .signs = signs, .pitcher = 1}),
             burst_length - ball_frames);
  }
  int run() {
    EXPECT_TRUE(open_report_file(w->report));
    return exit_code_of(watch_game(*w, p));
  }
  std::string report_file() const { return test_support::read_file(dir.path() / "text.txt"); }
  const pitcher_record& pitcher(team t, int slot = 0) const {
    return w->record.teams[static_cast<int>(t)].pitchers[slot];
  }
};

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(main_loop, a_pitch_is_counted_reported_and_waited_out) {
  loop_run r;
  r.lock();
  r.desk.add(r.screen({.shown = {id::versus_ground, id::count_no_ball_no_strike}}));
  r.desk.add(r.screen({}), 3);  // unrecognised
  r.pitch(id::finish_pose_left, {sign::top, sign::left_hand});
  // A left-hander: only the left pose holds the wait; the right pose does not.
  r.desk.add(r.screen({.shown = {id::finish_pose_left}}), 2);
  r.desk.add(r.screen({.shown = {id::finish_pose_right}}));
  r.desk.add(r.screen({}));  // the scene loop again, not the locator
  // The time a pitch is logged with: read as its burst begins, written out
  // only once the burst is analysed, so that nothing slow stands between the
  // finish pose and the burst.
  int64_t read_at = -1;
  int written_at = -1;
  r.p.now_us = [&] { return int64_t{r.desk.grabs}; };
  r.p.time_text = [&](int64_t us) {
    read_at = us;
    written_at = r.desk.grabs;
    return std::string("t");
  };

  EXPECT_EQ(r.run(), -1);
  EXPECT_EQ(read_at, 3 + 1 + 3 + 1);
  EXPECT_EQ(written_at, 3 + 1 + 3 + 1 + 11);
  EXPECT_NE(test_support::read_file("pitches.csv").find("\n,t,1,top,batting_second,1,left,"),
            std::string::npos);
  EXPECT_EQ(r.desk.grabs, 3 + 1 + 3 + 1 + 11 + 3 + 1);
  EXPECT_EQ(r.w->context.hand, pitcher_hand::left);
  EXPECT_EQ(r.w->scene.scene_miss_count, 1);  // cleared after the wait, then one miss
  EXPECT_EQ(r.w->scene.count_checked, 0);     // cleared by the report
  const pitcher_record& p = r.pitcher(team::batting_second);
  EXPECT_EQ(p.pitch_count, 1);
  EXPECT_EQ(p.first_pitch_count, 1);
  EXPECT_EQ(p.type_count[static_cast<int>(situation::all_pitches)]
                        [static_cast<int>(pitch_type::straight)],
            1.0);
  const std::string header = to_shift_jis("[後攻チームの投手の配球記録]");
  EXPECT_EQ(count_of(r.report_file(), header), 1u);
  EXPECT_EQ(count_of(r.console.str(), "[後攻チームの投手の配球記録]"), 1u);
}

TEST(main_loop, pitch_end_wait_watches_only_the_current_hand) {
  struct row {
    pitcher_hand hand;
    std::vector<id> poses;  // one screen each, then a screen without a pose
    int grabs;
  } rows[] = {
      {pitcher_hand::right, {id::finish_pose_right, id::finish_pose_right}, 3},
      {pitcher_hand::right, {id::finish_pose_left}, 1},
      {pitcher_hand::left, {id::finish_pose_left}, 2},
      {pitcher_hand::left, {id::finish_pose_right, id::finish_pose_left}, 1},
  };
  for (const row& t : rows) {
    SCOPED_TRACE(testing::Message() << "row " << (&t - rows));
    loop_run r;
    for (id pose : t.poses) r.desk.add(r.screen({.shown = {pose}}));
    r.desk.add(r.screen({}));
    EXPECT_TRUE(pitch_end_wait(r.p, r.w->templates, r.origin, t.hand));
    EXPECT_EQ(r.desk.grabs, t.grabs);
  }
  loop_run r;
  r.desk.add(r.screen({.shown = {id::finish_pose_right}}));
  EXPECT_FALSE(pitch_end_wait(r.p, r.w->templates, r.origin, pitcher_hand::right));
}

TEST(main_loop, an_undecided_inning_ends_through_the_inspection_exit) {
  loop_run r;
  r.lock();
  r.pitch(id::finish_pose_right, {sign::bottom});
  r.desk.add(r.screen({}));  // the end-of-pitch wait
  r.pitch(id::finish_pose_right, {sign::right_hand});
  r.desk.add(r.screen({}), 5);  // never reached

  EXPECT_EQ(r.run(), 0);
  EXPECT_EQ(r.key_waits, 1);
  EXPECT_EQ(r.desk.screens.size(), 5u);
  // The trigger frame, then frames 1 to 11; frame 2 goes to frame 1's window,
  // so that window ends up showing frame 2.
  const char* const windows[] = {"src_img11", "src_img1", "src_img1", "src_img2",
                                 "src_img3",  "src_img4", "src_img5", "src_img6",
                                 "src_img7",  "src_img8", "src_img9", "src_img10"};
  ASSERT_EQ(r.shown.size(), std::size(windows));
  for (size_t i = 0; i < r.shown.size(); ++i) {
    EXPECT_EQ(r.shown[i].first, windows[i]);
    EXPECT_FALSE(r.shown[i].second.empty());
  }
  // The trigger frame shows the pose; frame 1 carries the ball's mark.
  EXPECT_TRUE(detect_finish_pose(r.shown[0].second, synthetic::make_templates(), r.origin));
  EXPECT_GT(synthetic::marked_pixels(r.shown[1].second), 0);
  EXPECT_FALSE(r.w->report.file.is_open());
  EXPECT_TRUE(r.w->templates[id::game_area].empty());
  EXPECT_TRUE(r.w->ball.work.ycrcb_image.empty());
  // The report of the first pitch is in text.txt, whole.
  const std::string text = r.report_file();
  EXPECT_EQ(count_of(text, to_shift_jis("[先攻チームの投手の配球記録]")), 1u);
  EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
  EXPECT_EQ(r.pitcher(team::batting_first).pitch_count, 1);
}

// A pitch that cannot be read, then one that can. A run that goes on (a
// replay) names the first, records no type for it and waits its poses out; a
// pitch whose half was read still counts for its pitcher. A live run drops a
// burst without a ball and classifies a lost ball's path.
TEST(main_loop, a_run_that_goes_on_names_each_unread_pitch_and_records_no_type) {
  struct row {
    const char* what;
    bool go_on;
    std::vector<sign> signs;
    int ball_frames;
    std::vector<id> poses_after;  // one screen each after the burst
    std::optional<unread_reason> named;
    size_t shown;         // images shown (a replay writes them to files)
    int32_t pitch_count;  // batting first's pitcher, after both pitches
    size_t reports;
  } rows[] = {
      {"inning half unknown: both hands' poses are waited out",
       true,
       {sign::right_hand},
       burst_length,
       {id::finish_pose_left, id::finish_pose_right},
       unread_reason::inning_half,
       12,
       1,
       1},
      {"no ball in frames 1 and 2: the pose still showing starts no second burst",
       true,
       {sign::bottom, sign::right_hand},
       0,
       {id::finish_pose_right, id::finish_pose_right},
       unread_reason::no_ball,
       0,
       2,
       1},
      {"the ball lost after frame 3",
       true,
       {sign::bottom, sign::right_hand},
       3,
       {id::finish_pose_right},
       unread_reason::ball_lost,
       0,
       2,
       1},
      {"a live run classifies the part of the path it saw",
       false,
       {sign::bottom, sign::right_hand},
       3,
       {id::finish_pose_right},
       std::nullopt,
       0,
       2,
       2},
  };
  for (const row& t : rows) {
    SCOPED_TRACE(t.what);
    loop_run r;
    r.w->unread.go_on = t.go_on;
    r.w->trigger.keeps_ballless_burst = t.go_on;
    r.lock();
    r.pitch(id::finish_pose_right, t.signs, t.ball_frames);
    for (id pose : t.poses_after) r.desk.add(r.screen({.shown = {id::versus_ground, pose}}));
    r.desk.add(r.screen({}));
    r.pitch(id::finish_pose_right, {sign::bottom});
    r.desk.add(r.screen({}));

    EXPECT_EQ(r.run(), -1);
    EXPECT_EQ(r.key_waits, 0);
    EXPECT_EQ(r.shown.size(), t.shown);
    EXPECT_EQ(unread_total(r.w->unread), t.named ? 1 : 0);
    if (t.named) {
      EXPECT_EQ(r.w->unread.count[static_cast<int>(*t.named)], 1);
    }
    EXPECT_EQ(r.w->trigger.burst_count, 2);
    EXPECT_EQ(r.pitcher(team::batting_first).pitch_count, t.pitch_count);
    EXPECT_EQ(count_of(r.report_file(), to_shift_jis("[先攻チームの投手の配球記録]")), t.reports);
  }
}

TEST(main_loop, scene_loop_exits_and_what_the_next_lock_does) {
  struct row {
    const char* what;
    std::function<void(loop_run&)> screens;
    int32_t pitch_count;    // batting-first slot 0 afterwards (1 before)
    int32_t count_checked;  // afterwards
    int32_t burst_count;
    int32_t scene_miss_count;
  } rows[] = {
      {"game set, then the game found again: record emptied",
       [](loop_run& r) {
         r.lock();
         r.desk.add(r.screen({.shown = {id::versus_ground}}));
         r.desk.add(r.screen({.shown = {id::game_set}}));
         r.lock();
       },
       0, 0, 0, 0},
      {"twenty unrecognised, then the game found again: record kept",
       [](loop_run& r) {
         r.lock();
         r.desk.add(r.screen({.shown = {id::versus_ground}}));
         r.desk.add(r.screen({}), 20);
         r.lock();
       },
       1, 1, 2, 0},
      {"nineteen unrecognised and an interlude: no relocation",
       [](loop_run& r) {
         r.lock();
         r.desk.add(r.screen({}), 19);
         r.desk.add(r.screen({.shown = {id::time_out}}));
         r.desk.add(r.screen({}), 3);
       },
       1, 0, 2, 3},
      {"a burst without the ball is dropped",
       [](loop_run& r) {
         r.lock();
         r.desk.add(r.screen({.shown = {id::versus_ground}}));
         r.pitch(id::finish_pose_right, {sign::bottom}, 0);
       },
       1, 1, 3, 0},
  };
  for (const row& t : rows) {
    SCOPED_TRACE(t.what);
    loop_run r;
    count_pitcher_pitch(r.w->record, team::batting_first, 0, 0);
    record_pitch(r.w->record, team::batting_first, pitch_type::curve, 0, 0);
    r.w->trigger.burst_count = 2;
    t.screens(r);
    EXPECT_EQ(r.run(), -1);
    EXPECT_TRUE(r.desk.screens.empty());
    EXPECT_EQ(r.pitcher(team::batting_first).pitch_count, t.pitch_count);
    EXPECT_EQ(r.w->scene.count_checked, t.count_checked);
    EXPECT_EQ(r.w->trigger.burst_count, t.burst_count);
    EXPECT_EQ(r.w->scene.scene_miss_count, t.scene_miss_count);
    EXPECT_EQ(r.w->locator.locator_miss_count, 0);
  }
}

TEST(main_loop, start_up_comes_before_the_first_capture) {
  struct row {
    const char* missing;  // picture removed from data/
    int grabs;
    bool report_file;
  } rows[] = {{nullptr, 1, true}, {"ボールカウント.png", 0, false}};
  for (const row& t : rows) {
    SCOPED_TRACE(testing::Message() << "row " << (&t - rows));
    loop_run r;
    int chars_read = 0;
    r.p.read_char = [&] { ++chars_read; };
    if (t.missing) std::filesystem::remove(r.dir.path() / "data" / t.missing);
    r.desk.add(r.screen({}).colRange(0, 300).clone());  // no game picture on it
    EXPECT_EQ(exit_code_of(run_watcher(*r.w, r.p)), -1);
    EXPECT_EQ(r.desk.grabs, t.grabs);
    EXPECT_EQ(chars_read, t.missing ? 1 : 0);
    EXPECT_EQ(std::filesystem::exists(r.dir.path() / "text.txt"), t.report_file);
  }
}

}  // namespace
