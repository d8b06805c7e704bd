// Whole games of the practice game watched by pitchlog from start to end, in
// virtual time: the report file and the console must be exactly what a correct
// watcher prints, as the practice game's own tally builds it from the truth.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>

#include "control/main_loop.h"
#include "practice/desktop.h"
#include "practice/expected_report.h"
#include "practice/scenario.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using practice::game_screen;
using practice::step_kind;

// An absence this long outlasts twenty unrecognised captures and fifty locating
// attempts (each attempt costs at least the 60 ms pause of a capture).
constexpr int long_absence_ms = 6000;

struct game_result {
  int exit_code = 0;
  std::string text;     // text.txt, code page 932
  std::string console;  // UTF-8
  int grabs = 0;
  double seconds = 0;
};

// pitchlog's whole run on the practice desktop, in a fresh working folder that
// holds a copy of data/; it ends when the scenario ends and the desktop goes.
game_result watch(practice::scenario game) {
  test_support::scoped_work_dir dir;
  fs::copy(test_support::source_data_dir(), dir.path() / "data");
  practice::desktop desk = practice::make_desktop(std::move(game));
  pitchlog::platform p;
  practice::connect_platform(desk, p);
  std::ostringstream console;
  p.console = &console;

  game_result r;
  const auto start = std::chrono::steady_clock::now();
  r.exit_code = pitchlog::exit_code_of(pitchlog::run_pitchlog(p));
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.text = test_support::read_file(dir.path() / "text.txt");
  r.console = console.str();
  r.grabs = desk.grabs;
  return r;
}

bool ends_the_game(game_screen s) {
  return s == game_screen::title || s == game_screen::warning || s == game_screen::game_set;
}

// The reports a correct watcher prints for this scenario, UTF-8: the record is
// emptied after a game-ending screen or a long absence, and a pitch without a
// ball is dropped.
std::string expected_output(const practice::scenario& s) {
  const std::vector<practice::truth_pitch> truth = practice::truth_of(s);
  practice::expected_watch w;
  std::string out;
  std::size_t n = 0;
  bool reset_due = false;
  for (const practice::step& st : s.steps) {
    if (st.kind == step_kind::screen && ends_the_game(st.screen)) reset_due = true;
    if (st.kind == step_kind::absent && st.duration_ms >= long_absence_ms) reset_due = true;
    if (st.kind != step_kind::pitch) continue;
    if (reset_due) practice::expect_reset(w);
    reset_due = false;
    const practice::truth_pitch& p = truth.at(n++);
    if (st.pitch.ball) {
      out += practice::expect_pitch(w, p, p.type);
    } else {
      practice::expect_dropped_pitch(w, p);
    }
  }
  return out;
}

void expect_watched_exactly(const practice::scenario& game, const game_result& r) {
  const std::string expected = expected_output(game);
  EXPECT_EQ(r.exit_code, -1);  // the desktop is gone once the scenario is over
  EXPECT_EQ(r.console, expected);
  const std::optional<std::string> cp932 = practice::to_cp932(expected);
  ASSERT_TRUE(cp932);
  EXPECT_TRUE(r.text == *cp932) << "text.txt differs from the expected reports";
}

// What a generated game holds, to show that the seeds below cover it.
struct game_features {
  int pitches = 0;
  std::set<practice::hand> hands;
  int changes[2] = {0, 0};  // pitcher changes of the team batting first, second
  std::set<game_screen> screens;
};

game_features features_of(const practice::scenario& s) {
  game_features f;
  for (const practice::truth_pitch& p : practice::truth_of(s)) {
    ++f.pitches;
    f.hands.insert(p.pitcher_hand);
    int& changes = f.changes[p.inning_half == practice::half::top ? 1 : 0];
    changes = std::max(changes, p.pitcher_slot);
  }
  for (const practice::step& st : s.steps)
    if (st.kind == step_kind::screen) f.screens.insert(st.screen);
  return f;
}

struct seeded_game {
  uint64_t seed;
  int innings;
  int width, height, game_x, game_y;
};
void PrintTo(const seeded_game& g, std::ostream* os) {
  *os << "seed " << g.seed << ", " << g.innings << " innings, " << g.width << "x" << g.height;
}

class whole_game : public testing::TestWithParam<seeded_game> {};

TEST_P(whole_game, every_pitch_is_reported_exactly_as_thrown) {
  const seeded_game& g = GetParam();
  practice::scenario game = practice::generate_scenario(g.seed, g.innings);
  game.desktop.width = g.width;
  game.desktop.height = g.height;
  game.desktop.game_x = g.game_x;
  game.desktop.game_y = g.game_y;

  const game_features f = features_of(game);
  EXPECT_EQ(f.hands.size(), 2u);
  EXPECT_GT(f.changes[0], 0);
  EXPECT_GT(f.changes[1], 0);
  for (game_screen s : {game_screen::field, game_screen::scoreboard, game_screen::time_out,
                        game_screen::cut_in, game_screen::game_set})
    EXPECT_TRUE(f.screens.count(s)) << practice::screen_name(s);

  const game_result r = watch(game);
  expect_watched_exactly(game, r);
  // The same verdict as the live demo's: every pitch recorded once, as thrown.
  const practice::report_check c = practice::check_reports(practice::truth_of(game), r.text);
  EXPECT_EQ(c.recorded, f.pitches);
  EXPECT_EQ(c.as_thrown, f.pitches);
  EXPECT_TRUE(c.identical) << c.first_difference;
  std::printf("[ game     ] seed %llu: %d pitches, %.1f s of play, %d captures, %.1f s\n",
              static_cast<unsigned long long>(g.seed), f.pitches, game.end_ms / 1000.0, r.grabs,
              r.seconds);
}

// Together over 150 pitches; one game on a full-size desktop.
INSTANTIATE_TEST_SUITE_P(seeds, whole_game,
                         testing::Values(seeded_game{3, 3, 1920, 1080, 600, 300},
                                         seeded_game{11, 3, 1024, 600, 150, 60},
                                         seeded_game{2024, 3, 900, 560, 91, 37}));

practice::scenario parse(const std::string& json) {
  std::string error;
  std::optional<practice::scenario> s = practice::parse_scenario(json, error);
  EXPECT_TRUE(s) << error;
  return s.value_or(practice::scenario{});
}

struct written_game {
  const char* what;
  const char* json;
  int reports;  // analysed pitches, to show the case is what it says
};
void PrintTo(const written_game& g, std::ostream* os) {
  *os << g.what;
}

class hand_written_game : public testing::TestWithParam<written_game> {};

TEST_P(hand_written_game, is_reported_exactly) {
  const practice::scenario game = parse(GetParam().json);
  const game_result r = watch(game);
  expect_watched_exactly(game, r);
  const std::optional<std::string> header = practice::to_cp932("[後攻チームの投手の配球記録]");
  ASSERT_TRUE(header);
  int reports = 0;
  for (std::size_t at = r.text.find(*header); at != std::string::npos;
       at = r.text.find(*header, at + 1))
    ++reports;
  EXPECT_EQ(reports, GetParam().reports);
}

INSTANTIATE_TEST_SUITE_P(
    cases, hand_written_game,
    testing::Values(
        // The game-set screen ends the first game; the second starts from empty
        // counts, its pitchers in slot 0 again, the other team unreported.
        written_game{"game set, then a new game: record emptied", R"({
          "desktop": {"width": 960, "height": 600, "game_x": 120, "game_y": 70},
          "timeline": [
            {"screen": "play_ball", "ms": 1500},
            {"pitch": "straight", "pitcher": "AKAGI", "hand": "right", "half": "top", "balls": 0, "strikes": 0},
            {"pitch": "curve", "balls": 0, "strikes": 1},
            {"screen": "field", "ms": 1000},
            {"pitch": "shoot", "pitcher": "KURODA", "hand": "left", "half": "bottom", "balls": 0, "strikes": 0},
            {"pitch": "fork", "balls": 1, "strikes": 0},
            {"screen": "game_set", "ms": 3000},
            {"screen": "title", "ms": 2000},
            {"screen": "play_ball", "ms": 1500},
            {"pitch": "fork", "pitcher": "MIDORI", "hand": "right", "half": "top", "balls": 0, "strikes": 0},
            {"pitch": "curve", "balls": 1, "strikes": 0},
            {"screen": "field", "ms": 1000}]})",
                     6},
        // Gone for longer than fifty locating attempts: emptied when found again.
        written_game{"game window gone for long, then back: record emptied", R"({
          "desktop": {"width": 900, "height": 560, "game_x": 91, "game_y": 37, "pattern": "gradient"},
          "timeline": [
            {"screen": "play_ball", "ms": 1500},
            {"pitch": "curve", "pitcher": "AKAGI", "hand": "right", "half": "top", "balls": 0, "strikes": 0},
            {"pitch": "straight", "balls": 0, "strikes": 1},
            {"screen": "absent", "ms": 6000},
            {"screen": "field", "ms": 1000},
            {"pitch": "fork", "balls": 0, "strikes": 2},
            {"pitch": "shoot", "pitcher": "KURODA", "hand": "left", "half": "bottom", "balls": 0, "strikes": 0},
            {"screen": "field", "ms": 1000}]})",
                     4},
        // Twenty unrecognised captures (a cut-in) and a short absence send pitchlog
        // back to locating, but the record and the previous type are kept.
        written_game{"unrecognised screens and a short absence: record kept", R"({
          "desktop": {"width": 900, "height": 560, "game_x": 150, "game_y": 60, "pattern": "checker"},
          "timeline": [
            {"screen": "play_ball", "ms": 1500},
            {"pitch": "shoot", "pitcher": "AOKI", "hand": "left", "half": "bottom", "balls": 0, "strikes": 0},
            {"screen": "cut_in", "ms": 2500},
            {"pitch": "curve", "balls": 0, "strikes": 1},
            {"screen": "absent", "ms": 2000},
            {"pitch": "straight", "balls": 1, "strikes": 2},
            {"screen": "field", "ms": 1000}]})",
                     3},
        // A pitch without a ball is dropped; the count read before it still
        // holds for the next pitch (the panel is read once per report).
        written_game{"a burst without a ball: dropped", R"({
          "desktop": {"width": 900, "height": 560, "game_x": 60, "game_y": 40},
          "timeline": [
            {"screen": "play_ball", "ms": 1500},
            {"pitch": "straight", "pitcher": "AKAGI", "hand": "right", "half": "top", "balls": 1, "strikes": 2},
            {"pitch": "curve", "balls": 0, "strikes": 0, "ball": false},
            {"pitch": "fork", "balls": 0, "strikes": 1},
            {"pitch": "straight", "balls": 0, "strikes": 2},
            {"screen": "field", "ms": 1000}]})",
                     3},
        // A laptop-size desktop with the game flush against its right edge.
        written_game{"1366x768 desktop, game at its right edge", R"({
          "desktop": {"width": 1366, "height": 768, "game_x": 646, "game_y": 200, "pattern": "gradient"},
          "timeline": [
            {"screen": "play_ball", "ms": 1500},
            {"pitch": "fork", "pitcher": "AKAGI", "hand": "left", "half": "top", "balls": 0, "strikes": 0},
            {"pitch": "straight", "balls": 0, "strikes": 1},
            {"screen": "time_out", "ms": 1000},
            {"pitch": "curve", "pitcher": "SHIROI", "hand": "right", "balls": 0, "strikes": 1},
            {"screen": "scoreboard", "ms": 1000},
            {"pitch": "shoot", "pitcher": "KURODA", "hand": "right", "half": "bottom", "balls": 0, "strikes": 0},
            {"screen": "field", "ms": 1000}]})",
                     4}),
    [](const auto& info) { return "case_" + std::to_string(info.index); });

}  // namespace
