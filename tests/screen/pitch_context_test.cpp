#include "screen/pitch_context.h"

#include "control/main_loop.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include <opencv2/imgcodecs.hpp>

#include "screen/synthetic_game.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
using synthetic::sign;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(pitch_context, decisions_from_scores) {
  // Where a sign hits, the replay's close calls decide as the live run does;
  // where neither does, the better one wins above 0.8 with a lead over 0.4.
  using enum inning_half;
  struct inning_row {
    double top;
    double bottom;
    inning_half half;
    inning_half with_close_calls;
  } innings[] = {
      {0.98, 0.1, top, top},
      {0.1, 0.98, bottom, bottom},
      {0.99, 0.98, bottom, bottom},
      {0.97, 0.97, undecided, undecided},
      {nan, nan, undecided, undecided},
      {0.96, 0.35, undecided, top},
      {0.35, 0.81, undecided, bottom},
      {0.79, 0.1, undecided, undecided},
      {0.9, 0.5, undecided, undecided},
      {0.96, nan, undecided, top},
  };
  for (const inning_row& r : innings) {
    SCOPED_TRACE(testing::Message() << r.top << ", " << r.bottom);
    EXPECT_EQ(inning_from_scores(r.top, r.bottom), r.half);
    EXPECT_EQ(inning_from_scores(r.top, r.bottom, replay_close_calls), r.with_close_calls);
  }

  using enum pitcher_hand;
  struct hand_row {
    double right;
    double left;
    pitcher_hand previous;
    pitcher_hand hand;
    pitcher_hand with_close_calls;
  } hands[] = {
      {0.98, 0.2, left, right, right},   {0.2, 0.98, right, left, left},
      {0.98, 0.98, right, left, left},   {0.97, 0.97, left, left, left},
      {0.97, 0.97, right, right, right}, {nan, nan, left, left, left},
      {0.92, 0.14, left, left, right},   {0.15, 0.9, right, right, left},
      {0.7, 0.1, left, left, left},
  };
  for (const hand_row& r : hands) {
    SCOPED_TRACE(testing::Message() << r.right << ", " << r.left);
    EXPECT_EQ(hand_from_scores(r.right, r.left, r.previous), r.hand);
    EXPECT_EQ(hand_from_scores(r.right, r.left, r.previous, replay_close_calls),
              r.with_close_calls);
  }

  EXPECT_FALSE(is_new_pitcher(0.95));
  EXPECT_TRUE(is_new_pitcher(0.9499));
  EXPECT_FALSE(is_new_pitcher(nan));
}

// Burst frame 1 of a 760 x 500 capture with the game at (25, 15); the signs
// live in data/ of a temporary working folder.
struct context_run {
  test_support::scoped_work_dir dir;
  template_set templates = synthetic::make_templates();
  cv::Point origin{25, 15};
  watcher w;
  context_state& context = w.context;
  pitch_record& record = w.record;

  context_run() { synthetic::write_data_folder(templates, dir.path()); }

  frame_burst burst(std::vector<sign> signs, int pitcher) const {
    frame_burst b;
    b.trigger_frame = cv::Mat(500, 760, CV_8UC3, cv::Scalar(1, 2, 3));
    for (cv::Mat& f : b.frames) {
      f = synthetic::desktop(
          {760, 500}, origin,
          synthetic::game_picture(templates, {.signs = signs, .pitcher = pitcher}));
    }
    return b;
  }
  // Identifies one pitch in `b` and counts it as the main loop does; returns
  // whether the half was decided.
  bool identify(frame_burst& b, bool first, bool two) {
    w.scene.first_pitch_flag = first;
    w.scene.two_strike_flag = two;
    count_identified_pitch(w, identify_pitch_context(b, origin, record, context));
    return context.half != inning_half::undecided;
  }
  bool pitch(std::vector<sign> signs, int pitcher, bool first = false, bool two = false) {
    frame_burst b = burst(std::move(signs), pitcher);
    return identify(b, first, two);
  }
  const team_record& team_of(team t) const { return record.teams[static_cast<int>(t)]; }
  // The pitcher whose name strip a crop file holds (-1: none or another picture).
  static int crop_shows(std::string_view file) {
    const cv::Mat crop = cv::imread(std::string(file));
    for (int pitcher = 0; pitcher < 10; ++pitcher) {
      if (!crop.empty() && cv::norm(crop, synthetic::name_strip(pitcher), cv::NORM_INF) == 0) {
        return pitcher;
      }
    }
    return -1;
  }
};

TEST(pitch_context, follows_pitchers_by_their_name_crops) {
  context_run run;
  const team field = team::batting_second;
  const team bat = team::batting_first;
  struct row {
    const char* what;
    std::vector<sign> signs;
    int pitcher;
    team pitching;
    int32_t slot;
    int32_t pitch_count;  // of that slot
  } rows[] = {
      {"first pitch of the fielding team saves its crop", {sign::top}, 1, field, 0, 1},
      {"same pitcher", {sign::top, sign::right_hand}, 1, field, 0, 2},
      {"first pitch of the batting team", {sign::bottom}, 7, bat, 0, 1},
      {"a new pitcher", {sign::top}, 2, field, 1, 1},
      {"the new pitcher again", {sign::top}, 2, field, 1, 2},
      {"a returning pitcher counts as a further one", {sign::top}, 1, field, 2, 1},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    run.record.previous_pitch_type = pitch_type::fork;
    const int32_t slot_before = run.team_of(r.pitching).pitcher_slot;
    ASSERT_TRUE(run.pitch(r.signs, r.pitcher, true, false));
    const team_record& t = run.team_of(r.pitching);
    EXPECT_TRUE(t.has_pitched);
    EXPECT_EQ(t.pitcher_slot, r.slot);
    EXPECT_EQ(t.pitchers[r.slot].pitch_count, r.pitch_count);
    EXPECT_EQ(t.pitchers[r.slot].first_pitch_count, r.pitch_count);
    EXPECT_EQ(run.record.previous_pitch_type.has_value(), t.pitcher_slot == slot_before);
    EXPECT_EQ(context_run::crop_shows(crop_file(r.pitching)), r.pitcher);
  }
  EXPECT_EQ(run.context.half, inning_half::top);

  // After a reset each team's next pitch saves its crop again, without comparing.
  reset_pitch_record(run.record);
  ASSERT_TRUE(run.pitch({sign::top}, 4));
  ASSERT_TRUE(run.pitch({sign::bottom}, 5));
  for (const auto& [t, pitcher] : {std::pair{field, 4}, std::pair{bat, 5}}) {
    EXPECT_EQ(run.team_of(t).pitcher_slot, 0);
    EXPECT_EQ(run.team_of(t).pitchers[0].pitch_count, 1);
    EXPECT_EQ(context_run::crop_shows(crop_file(t)), pitcher);
  }
}

TEST(pitch_context, a_lost_crop_is_the_same_pitcher_and_is_saved_again) {
  context_run run;
  ASSERT_TRUE(run.pitch({sign::bottom}, 3));
  std::filesystem::remove(batting_first_crop_file);
  ASSERT_TRUE(run.pitch({sign::bottom}, 3));
  EXPECT_EQ(run.team_of(team::batting_first).pitcher_slot, 0);
  EXPECT_EQ(run.team_of(team::batting_first).pitchers[0].pitch_count, 2);
  EXPECT_EQ(context_run::crop_shows(batting_first_crop_file), 3);
}

TEST(pitch_context, inning_half_and_hand_from_the_signs) {
  struct row {
    const char* what;
    std::vector<sign> signs;
    pitcher_hand hand_before;
    inning_half half;
    bool batting_first_marked;
    bool batting_second_marked;
    pitcher_hand hand;
  } rows[] = {
      {"top, right",
       {sign::top, sign::right_hand},
       pitcher_hand::left,
       inning_half::top,
       false,
       true,
       pitcher_hand::right},
      {"bottom, left",
       {sign::bottom, sign::left_hand},
       pitcher_hand::right,
       inning_half::bottom,
       true,
       false,
       pitcher_hand::left},
      {"both inning signs: bottom, both marked",
       {sign::top, sign::bottom},
       pitcher_hand::right,
       inning_half::bottom,
       true,
       true,
       pitcher_hand::right},
      {"both hand signs: left",
       {sign::top, sign::right_hand, sign::left_hand},
       pitcher_hand::right,
       inning_half::top,
       false,
       true,
       pitcher_hand::left},
      {"no hand sign keeps the hand",
       {sign::top},
       pitcher_hand::left,
       inning_half::top,
       false,
       true,
       pitcher_hand::left},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    context_run run;
    run.context.hand = r.hand_before;
    frame_burst b = run.burst(r.signs, 0);
    ASSERT_TRUE(run.identify(b, false, true));
    EXPECT_EQ(run.context.half, r.half);
    EXPECT_EQ(run.context.hand, r.hand);
    EXPECT_EQ(run.team_of(team::batting_first).has_pitched, r.batting_first_marked);
    EXPECT_EQ(run.team_of(team::batting_second).has_pitched, r.batting_second_marked);
    EXPECT_EQ(run.team_of(pitching_team(r.half)).pitchers[0].two_strike_count, 1);
    // Trigger frame and frames 1 and 2 are done with; frames 3 to 11 go on.
    EXPECT_TRUE(b.trigger_frame.empty());
    EXPECT_TRUE(b.frames[0].empty());
    EXPECT_TRUE(b.frames[1].empty());
    for (int i = 2; i < burst_length; ++i) EXPECT_FALSE(b.frames[i].empty());
  }
}

TEST(pitch_context, an_unreadable_inning_keeps_every_frame_and_counts_nothing) {
  struct row {
    const char* what;
    std::vector<sign> signs;
    const char* removed;  // sign picture missing from data/
  } rows[] = {
      {"no inning sign", {sign::right_hand}, nullptr},
      {"top sign shown but its picture missing", {sign::top}, "オモテ.png"},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    context_run run;
    if (r.removed) std::filesystem::remove(run.dir.path() / "data" / r.removed);
    run.context.hand = pitcher_hand::left;
    frame_burst b = run.burst(r.signs, 0);
    EXPECT_FALSE(run.identify(b, true, true));
    EXPECT_EQ(run.context.half, inning_half::undecided);
    EXPECT_EQ(run.context.hand, pitcher_hand::left);
    EXPECT_FALSE(b.trigger_frame.empty());
    for (const cv::Mat& f : b.frames) EXPECT_FALSE(f.empty());
    for (const team_record& t : run.record.teams) {
      EXPECT_FALSE(t.has_pitched);
      EXPECT_EQ(t.pitchers[0].pitch_count, 0);
    }
    EXPECT_FALSE(std::filesystem::exists(batting_second_crop_file));
  }
}

}  // namespace
