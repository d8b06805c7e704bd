// A long evening in virtual time: seeded games one after another on a small
// in-process desktop. Memory stays flat after the first game, no file
// descriptor or shared-memory segment leaks, and every pitch is reported.
#include <gtest/gtest.h>

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "control/capture/shift_jis.h"
#include "control/main_loop.h"
#include "practice/desktop.h"
#include "practice/scenario.h"
#include "support/practice_run.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
namespace fs = std::filesystem;

// At least this many pitches; PITCHLOG_SOAK_PITCHES asks for another number
// (the sanitizer run asks for fewer).
constexpr int default_soak_pitches = 2000;
constexpr long max_growth_kb = 5 * 1024;

// AddressSanitizer holds freed memory back in quarantine, so resident memory
// says nothing about leaks there (its leak check does).
#ifdef __SANITIZE_ADDRESS__
constexpr bool memory_is_measured = false;
#else
constexpr bool memory_is_measured = true;
#endif

int soak_pitches() {
  const char* text = std::getenv("PITCHLOG_SOAK_PITCHES");
  const int n = text ? std::atoi(text) : 0;
  return n > 0 ? n : default_soak_pitches;
}

struct resources {
  long rss_kb = 0;
  int descriptors = 0;
  int segments = 0;  // shared-memory segments this process created
};

long resident_kb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

int open_descriptors() {
  int n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

resources sample() {
  return {resident_kb(), open_descriptors(), test_support::shm_segments_of(getpid())};
}

// Seeded games back to back on a desktop just larger than the game picture,
// until `pitches` pitches are thrown; `game_ends` gets the time each game ends.
// Every game but the last is whole; the last goes from the pitch that reaches
// the count straight to its game-set screen, so the evening holds no pitches
// past it and ends as every game does. The set pose and the view after
// a pitch are cut to half their length: fewer captures per pitch, the same work per pitch.
practice::scenario evening(int pitches, std::vector<int64_t>& game_ends) {
  practice::scenario s;
  s.desktop.width = 760;
  s.desktop.height = 520;
  s.desktop.game_x = 20;
  s.desktop.game_y = 20;
  s.desktop.pattern = practice::background_pattern::checker;
  int64_t end = 0;
  for (int thrown = 0; thrown < pitches;) {
    practice::scenario game =
        practice::generate_scenario(101 + static_cast<uint64_t>(game_ends.size()));
    practice::end_after_pitch(game, pitches - thrown);
    for (practice::step& st : game.steps) {
      if (st.kind != practice::step_kind::pitch) continue;
      st.pitch.set_ms /= 2;
      st.pitch.after_ms /= 2;
      ++thrown;
    }
    s.steps.insert(s.steps.end(), game.steps.begin(), game.steps.end());
    practice::finish_scenario(game);
    end += game.end_ms;
    game_ends.push_back(end);
  }
  practice::finish_scenario(s);
  return s;
}

// A console that keeps nothing (an evening of reports would itself grow the
// process) and counts the lines equal to `line`.
class line_counter : public std::streambuf {
 public:
  explicit line_counter(std::string line) : line_(std::move(line)) {}
  int count() const { return count_; }

 protected:
  int_type overflow(int_type c) override {
    if (c == traits_type::eof()) return traits_type::not_eof(c);
    if (c == '\n') {
      if (!mismatch_ && matched_ == line_.size()) ++count_;
      matched_ = 0;
      mismatch_ = false;
    } else if (!mismatch_ && matched_ < line_.size() && line_[matched_] == static_cast<char>(c)) {
      ++matched_;
    } else {
      mismatch_ = true;
    }
    return c;
  }

 private:
  std::string line_;
  size_t matched_ = 0;  // characters of `line_` seen so far on this line
  bool mismatch_ = false;
  int count_ = 0;
};

TEST(soak, whole_games_keep_memory_descriptors_and_segments_flat) {
  const int wanted = soak_pitches();
  std::vector<int64_t> game_ends;
  practice::scenario s = evening(wanted, game_ends);
  const int thrown = static_cast<int>(practice::truth_of(s).size());

  test_support::practice_run r(std::move(s));
  const practice::desktop& desk = r.desk;
  platform& p = r.p;
  const std::string header = "[後攻チームの投手の配球記録]";
  line_counter console_lines(header);
  std::ostream console(&console_lines);
  p.console = &console;

  // A sample at the first grab after each game; the first one is the
  // baseline, taken once everything a game uses has been made.
  std::vector<resources> after_game;
  auto grab = p.source.grab;
  p.source.grab = [&](screen_grab& g) {
    if (after_game.size() < game_ends.size() && desk.now_ms >= game_ends[after_game.size()])
      after_game.push_back(sample());
    return grab(g);
  };

  const auto began = std::chrono::steady_clock::now();
  EXPECT_EQ(r.run(), -1);  // the desktop is gone after the last game
  const resources end = sample();
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  ASSERT_FALSE(after_game.empty());
  const resources start = after_game.front();

  const int reported =
      test_support::count_of(test_support::read_file(report_file_name), to_shift_jis(header));

  std::string by_game;
  for (const resources& r : after_game) {
    by_game += ' ';
    by_game += std::to_string(r.rss_kb);
  }
  std::printf(
      "soak: %zu games, %d pitches thrown, %d reported, %d captures, %.0f s virtual, %.1f s real\n"
      "soak: resident memory %ld kB after the first game, %ld kB at the end (%+ld kB); "
      "after each game (kB):%s\n"
      "soak: open descriptors %d then %d; shared-memory segments %d then %d\n",
      game_ends.size(), thrown, reported, desk.grabs, desk.now_ms / 1000.0, seconds, start.rss_kb,
      end.rss_kb, end.rss_kb - start.rss_kb, by_game.c_str(), start.descriptors, end.descriptors,
      start.segments, end.segments);

  EXPECT_GE(thrown, wanted);
  EXPECT_EQ(reported, thrown);
  EXPECT_EQ(console_lines.count(), reported);
  if (memory_is_measured) {
    EXPECT_LT(end.rss_kb - start.rss_kb, max_growth_kb);
  }
  EXPECT_EQ(end.descriptors, start.descriptors);
  EXPECT_EQ(end.segments, start.segments);
}

// The soak's desktop redraws only the ball's pixels when nothing but the ball
// moves. Every grab must still show exactly what drawing the whole desktop
// afresh shows: through the first pitches of a seeded game, and through
// pitches with markers, noise, a hidden or missing ball and a game cut by the
// desktop's edge.
TEST(soak_desktop, redrawing_only_the_ball_shows_what_a_fresh_drawing_shows) {
  const practice::scenario edge = test_support::scenario_of(R"({
    "desktop": {"width": 700, "height": 500, "game_x": -40, "game_y": 60, "pattern": "checker"},
    "timeline": [
      {"pitch": "curve", "pitcher": "AKAGI", "hand": "right", "half": "top", "markers": true},
      {"pitch": "shoot", "hand": "left", "noise": 6},
      {"pitch": "fork", "hide_ms": [100, 300], "inning_sign": false},
      {"pitch": "straight", "ball": false, "hand_sign": false},
      {"screen": "absent", "ms": 300},
      {"pitch": "curve", "hand": "right", "set_ms": 0, "after_ms": 0},
      {"pitch": "curve", "set_ms": 0, "after_ms": 0},
      {"screen": "field", "ms": 300}
    ]})");
  std::vector<int64_t> game_ends;
  const practice::scenario seeded = evening(20, game_ends);

  for (const practice::scenario& s : {edge, seeded}) {
    practice::desktop cached = practice::make_desktop(s);
    practice::desktop fresh = practice::make_desktop(s);
    // Captures 8 ms apart in a burst, 68 ms apart in the scene loop, and a
    // few odd steps between.
    const int pauses[] = {60, 0, 0, 60, 13, 60, 1};
    int changes = 0;
    for (int k = 0;; ++k) {
      screen_grab g;
      const std::optional<practice::game_view> before = cached.shown;
      const int64_t before_grab = cached.now_ms;
      if (!practice::grab_desktop(cached, g)) break;
      practice::pause_desktop(cached, pauses[k % std::size(pauses)]);
      if (cached.shown == before) continue;  // nothing was drawn
      ++changes;
      fresh.now_ms = before_grab;
      fresh.shown.reset();
      fresh.pixels = fresh.background;
      screen_grab expected;
      ASSERT_TRUE(practice::grab_desktop(fresh, expected));
      ASSERT_EQ(cached.pixels, fresh.pixels) << "grab " << k << " at " << before_grab << " ms";
    }
    EXPECT_GT(changes, 50);
  }
}

}  // namespace
