#include "practice/scenario.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using namespace practice;
using pitchlog::pitch_type;

// ---------------------------------------------------------------- generator

class generated_game : public ::testing::TestWithParam<uint64_t> {};

TEST_P(generated_game, is_a_plausible_whole_game) {
  const scenario game = generate_scenario(GetParam(), 9);
  const std::vector<truth_pitch> truth = truth_of(game);
  ASSERT_FALSE(truth.empty());

  int max_slot[2] = {-1, -1};  // by half: top, bottom
  std::set<hand> hands;
  std::set<pitch_type> types;
  std::set<std::pair<int, half>> halves_pitched;
  for (std::size_t i = 0; i < truth.size(); ++i) {
    const truth_pitch& p = truth[i];
    EXPECT_EQ(p.n, static_cast<int>(i) + 1);
    if (i > 0) {
      EXPECT_GT(p.time_ms, truth[i - 1].time_ms);
    }
    const int h = static_cast<int>(p.inning_half);
    EXPECT_LE(p.pitcher_slot, max_slot[h] + 1) << "slots are given in order of appearance";
    max_slot[h] = std::max(max_slot[h], p.pitcher_slot);
    EXPECT_LT(p.pitcher_slot, 5);
    hands.insert(p.pitcher_hand);
    types.insert(p.type);
  }
  EXPECT_GE(max_slot[0], 1) << "the team batting second changes pitchers";
  EXPECT_GE(max_slot[1], 1) << "the team batting first changes pitchers";
  EXPECT_EQ(hands.size(), 2u);
  EXPECT_EQ(types.size(), 4u);

  // Counts and outs along the timeline: one pitch moves the count by one ball
  // or one strike (a foul with two strikes keeps it); a new batter starts at
  // 0-0; outs grow one at a time and every half ends at three.
  const step* previous = nullptr;
  int cut_in_run_ms = 0, time_outs = 0, cut_ins = 0;
  for (const step& s : game.steps) {
    cut_in_run_ms = s.kind == step_kind::screen && s.screen == game_screen::cut_in
                        ? cut_in_run_ms + s.duration_ms
                        : 0;
    EXPECT_LT(cut_in_run_ms, 20 * 60) << "unknown screens stay under twenty captures";
    if (s.kind == step_kind::screen && s.screen == game_screen::time_out) ++time_outs;
    if (s.kind == step_kind::screen && s.screen == game_screen::cut_in) ++cut_ins;
    if (s.kind != step_kind::pitch) continue;
    halves_pitched.insert({s.inning, s.inning_half});
    EXPECT_LE(s.balls, 3);
    EXPECT_LE(s.strikes, 2);
    EXPECT_LE(s.outs, 2);
    if (previous && previous->inning == s.inning && previous->inning_half == s.inning_half) {
      const int db = s.balls - previous->balls, ds = s.strikes - previous->strikes;
      const bool one_step = db + ds == 1 && db >= 0 && ds >= 0;
      const bool foul_at_two = db == 0 && ds == 0 && s.strikes == 2;
      const bool same_batter = s.outs == previous->outs && (one_step || foul_at_two);
      const bool new_batter = s.balls == 0 && s.strikes == 0 &&
                              (s.outs == previous->outs || s.outs == previous->outs + 1);
      EXPECT_TRUE(same_batter || new_batter)
          << previous->balls << "-" << previous->strikes << " out " << previous->outs << " then "
          << s.balls << "-" << s.strikes << " out " << s.outs;
    } else {
      EXPECT_EQ(s.outs, 0) << "a half starts with no outs";
      EXPECT_EQ(s.balls + s.strikes, 0);
    }
    previous = &s;
  }
  EXPECT_EQ(halves_pitched.size(), 18u) << "both halves of all nine innings are pitched";
  EXPECT_GE(time_outs, 2);
  EXPECT_GE(cut_ins, 1);
  ASSERT_FALSE(game.steps.empty());
  EXPECT_EQ(game.steps.front().screen, game_screen::warning);
  EXPECT_EQ(game.steps.back().screen, game_screen::game_set);
  EXPECT_EQ(game.end_ms, game.starts.back() + step_length_ms(game.steps.back()));
}

TEST_P(generated_game, survives_its_json_form) {
  const scenario game = generate_scenario(GetParam(), 3);
  std::string error;
  const std::optional<scenario> again = parse_scenario(scenario_json(game), error);
  ASSERT_TRUE(again) << error;
  EXPECT_EQ(scenario_json(*again), scenario_json(game));
  EXPECT_EQ(again->end_ms, game.end_ms);
  for (int64_t t = 0; t < game.end_ms; t += 997) EXPECT_EQ(view_at(*again, t), view_at(game, t));
}

INSTANTIATE_TEST_SUITE_P(seeds, generated_game, ::testing::Values(1u, 2u, 7u, 42u, 2024u));

// ---------------------------------------------------------------- JSON and timeline

// title 1000 | absent 500 | pitch 1 (0-0) 3200 | pitch 2 (1-0) 3200 | game set 1000
constexpr const char* hand_written = R"({
  "desktop": {"width": 1366, "height": 768, "game_x": 746, "game_y": 100,
              "background": [10, 20, 30], "pattern": "checker"},
  "seed": 9,
  "timeline": [
    {"screen": "title", "ms": 1000},
    {"screen": "absent", "ms": 500},
    {"pitch": "curve", "inning": 2, "half": "bottom", "pitcher": "AKAGI", "hand": "left",
     "outs": 1, "balls": 0, "strikes": 0,
     "flight": {"x": 360.5, "y": 300.5, "break_x": -20, "break_y": 4, "r0": 7, "r1": 11, "ms": 1400}},
    {"pitch": "fork", "balls": 1, "hide_ms": [300, 400], "markers": true, "noise": 3},
    {"screen": "game_set", "ms": 1000}
  ]
})";

scenario parsed(const char* text) {
  std::string error;
  std::optional<scenario> s = parse_scenario(text, error);
  EXPECT_TRUE(s) << error;
  return s ? *s : scenario{};
}

TEST(scenario_json, reads_a_hand_written_game) {
  const scenario s = parsed(hand_written);
  EXPECT_EQ(s.desktop.width, 1366);
  EXPECT_EQ(s.desktop.height, 768);
  EXPECT_EQ(s.desktop.game_x, 746);
  EXPECT_EQ(s.desktop.pattern, background_pattern::checker);
  EXPECT_EQ(s.desktop.background[2], 30);
  ASSERT_EQ(s.steps.size(), 5u);
  EXPECT_EQ(s.steps[1].kind, step_kind::absent);
  const step& second = s.steps[3];
  EXPECT_EQ(second.pitch.type, pitch_type::fork);
  EXPECT_EQ(second.pitcher, "AKAGI") << "match state carries over";
  EXPECT_EQ(second.pitcher_hand, hand::left);
  EXPECT_EQ(second.inning, 2);
  EXPECT_EQ(second.outs, 1);
  EXPECT_EQ(second.balls, 1);
  EXPECT_EQ(s.steps[2].pitch.path.break_x, -20.0f);
  EXPECT_EQ(s.end_ms, 1000 + 500 + 2 * 3200 + 1000);
}

struct view_case {
  int64_t time_ms;
  bool present;
  game_screen screen;
  pose pitcher_pose;
  bool ball;
  int balls;
};

TEST(view_at, follows_the_timeline) {
  const scenario s = parsed(hand_written);
  // Pitch 1 starts at 1500: set to 2400, take-back to 2900, finish to 3900,
  // flight 2900 to 4300, after-count to 4700. Pitch 2 starts at 4700.
  const view_case cases[] = {
      {-1, false, {}, {}, false, 0},
      {0, true, game_screen::title, pose::set, false, 0},
      {999, true, game_screen::title, pose::set, false, 0},
      {1000, false, {}, {}, false, 0},
      {1499, false, {}, {}, false, 0},
      {1500, true, game_screen::versus, pose::set, false, 0},
      {2400, true, game_screen::versus, pose::take_back, false, 0},
      {2899, true, game_screen::versus, pose::take_back, false, 0},
      {2900, true, game_screen::versus, pose::finish, true, 0},
      {3899, true, game_screen::versus, pose::finish, true, 0},
      {3900, true, game_screen::versus, pose::set, true, 1},  // next pitch's count
      {4299, true, game_screen::versus, pose::set, true, 1},
      {4300, true, game_screen::versus, pose::set, false, 1},
      {4700, true, game_screen::versus, pose::set, false, 1},
      {4700 + 1400 + 350, true, game_screen::versus, pose::finish, false, 1},  // hidden
      {4700 + 1400 + 400, true, game_screen::versus, pose::finish, true, 1},
      {4700 + 2400, true, game_screen::versus, pose::set, true, 0},  // no next pitch
      {7900, true, game_screen::game_set, pose::set, false, 1},      // state carries over
      {8899, true, game_screen::game_set, pose::set, false, 1},
      {8900, false, {}, {}, false, 0},
  };
  for (const view_case& c : cases) {
    SCOPED_TRACE(c.time_ms);
    const std::optional<game_view> v = view_at(s, c.time_ms);
    ASSERT_EQ(v.has_value(), c.present);
    if (!v) continue;
    EXPECT_EQ(v->screen, c.screen);
    EXPECT_EQ(v->pitcher_pose, c.pitcher_pose);
    EXPECT_EQ(v->ball.visible, c.ball);
    EXPECT_EQ(v->balls, c.balls);
  }
  const game_view release = *view_at(s, 2900);
  EXPECT_EQ(release.ball.x, 360.5f);
  EXPECT_EQ(release.ball.y, 300.5f);
  EXPECT_EQ(release.ball.radius, 7.0f);
  EXPECT_EQ(release.pitcher_hand, hand::left);
  EXPECT_EQ(release.inning_half, half::bottom);
  EXPECT_FALSE(release.ignored_point_markers);
  EXPECT_TRUE(view_at(s, 4700)->ignored_point_markers);
  EXPECT_EQ(view_at(s, 4700)->noise_amplitude, 3);
}

TEST(view_at, never_shows_a_ball_for_a_pitch_without_one) {
  const scenario s = parsed(R"({"timeline": [{"pitch": "straight", "ball": false}]})");
  for (int64_t t = 0; t < s.end_ms; t += 10) EXPECT_FALSE(view_at(s, t)->ball.visible) << t;
}

struct bad_case {
  const char* json;
  const char* complaint;
};

TEST(scenario_json, refuses_bad_input_and_says_where) {
  const bad_case cases[] = {
      {"{", "parse"},
      {R"({"desktop": {}})", "timeline"},
      {R"({"timeline": [{"screen": "title", "ms": 5, "colour": 1}]})", "unknown key \"colour\""},
      {R"({"timeline": [{"screen": "menu", "ms": 5}]})", "unknown screen"},
      {R"({"timeline": [{"screen": "title"}]})", "\"ms\""},
      {R"({"timeline": [{"screen": "title", "ms": -5}]})", "step 1"},
      {R"({"timeline": [{"pitch": "slider"}]})", "unknown pitch type"},
      {R"({"timeline": [{"pitch": "fork", "balls": 4}]})", "\"balls\""},
      {R"({"timeline": [{"pitch": "fork", "hide_ms": [400, 300]}]})", "hide_ms"},
      {R"({"timeline": [{"screen": "title", "ms": 1}, {"pitch": "fork", "pitcher": ""}]})",
       "step 2"},
      {R"({"timeline": [{"pitch": "fork", "flight": {"r0": 0}}]})", "r0"},
      {R"({"desktop": {"width": 0}, "timeline": []})", "width"},
      {R"({"desktop": {"background": [1, 2, 300]}, "timeline": []})", "background"},
      {R"({"timeline": [7]})", "step 1"},
  };
  for (const bad_case& c : cases) {
    SCOPED_TRACE(c.json);
    std::string error;
    EXPECT_FALSE(parse_scenario(c.json, error));
    EXPECT_NE(error.find(c.complaint), std::string::npos) << error;
  }
  std::string error;
  EXPECT_FALSE(load_scenario("/nonexistent/game.json", error));
  EXPECT_NE(error.find("/nonexistent/game.json"), std::string::npos);
}

// ---------------------------------------------------------------- truth

TEST(truth, numbers_pitchers_per_team_in_order_of_appearance) {
  const scenario s = parsed(R"({"timeline": [
    {"pitch": "straight", "half": "top", "pitcher": "AKAGI", "hand": "right"},
    {"pitch": "curve", "half": "bottom", "pitcher": "BESSHO", "hand": "left", "strikes": 1},
    {"pitch": "fork", "half": "top", "pitcher": "CHIKUMA", "hand": "right", "balls": 2},
    {"pitch": "shoot", "half": "top", "pitcher": "AKAGI", "hand": "right"}
  ]})");
  const std::vector<truth_pitch> t = truth_of(s);
  ASSERT_EQ(t.size(), 4u);
  const int slots[] = {0, 0, 1, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(t[i].pitcher_slot, slots[i]) << i;
  EXPECT_EQ(truth_line(t[0]),
            R"({"n":1,"time_ms":1400,"half":"top","team":"batting_second","pitcher_slot":0,)"
            R"("pitcher":"AKAGI","hand":"right","type":"straight","balls":0,"strikes":0})");
  EXPECT_EQ(truth_line(t[1]),
            R"({"n":2,"time_ms":4600,"half":"bottom","team":"batting_first","pitcher_slot":0,)"
            R"("pitcher":"BESSHO","hand":"left","type":"curve","balls":0,"strikes":1})");
  EXPECT_EQ(t[2].balls, 2);
}

}  // namespace
