// Desktops the game does not fit on, and desktops that change size in the
// middle of a run: regions past the edge are misses, never reads outside a
// capture, and the run finds the game again wherever it fits.
#include <gtest/gtest.h>

#include <string>

#include "control/main_loop.h"
#include "practice/desktop.h"
#include "practice/scenario.h"
#include "support/practice_run.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;
using test_support::count_of;

const std::string report_header = "[後攻チームの投手の配球記録]";

// Three pitches, the first two with a long field screen after them, on the
// given desktop.
practice::scenario three_pitches(const practice::desktop_layout& layout) {
  practice::scenario s = test_support::scenario_of(R"({
    "timeline": [
      {"screen": "play_ball", "ms": 300},
      {"pitch": "straight", "pitcher": "AKAGI", "hand": "right", "half": "top",
       "balls": 0, "strikes": 0, "set_ms": 400, "after_ms": 400},
      {"screen": "field", "ms": 2500},
      {"pitch": "curve", "balls": 0, "strikes": 1, "set_ms": 400, "after_ms": 400},
      {"screen": "field", "ms": 2500},
      {"pitch": "fork", "balls": 1, "strikes": 1, "set_ms": 400, "after_ms": 400},
      {"screen": "field", "ms": 400}
    ]})");
  s.desktop = layout;
  practice::finish_scenario(s);
  return s;
}

practice::desktop_layout layout(int width, int height, int game_x, int game_y) {
  practice::desktop_layout l;
  l.width = width;
  l.height = height;
  l.game_x = game_x;
  l.game_y = game_y;
  l.pattern = practice::background_pattern::checker;
  return l;
}

// A run whose desktop becomes `after` once the first report is printed (the
// same game goes on, on the same clock).
struct resizing_run {
  test_support::practice_run before;
  practice::desktop after;
  bool resized = false;

  resizing_run(const practice::desktop_layout& first, const practice::desktop_layout& second)
      : before(three_pitches(first)), after(practice::make_desktop(three_pitches(second))) {
    before.p.source.grab = [this](screen_grab& g) {
      if (!resized && reports() >= 1) {
        after.now_ms = before.desk.now_ms;
        resized = true;
      }
      return practice::grab_desktop(resized ? after : before.desk, g);
    };
    before.p.source.pause = [this](int ms) {
      practice::pause_desktop(resized ? after : before.desk, ms);
    };
  }
  int run() { return before.run(); }
  int reports() const { return count_of(before.console.str(), report_header); }
};

struct screen_case {
  const char* name;
  practice::desktop_layout first;
  practice::desktop_layout second;  // same as `first`: no resize
  int reports;
};
void PrintTo(const screen_case& c, std::ostream* os) {
  *os << c.name;
}

class desktop_shape : public testing::TestWithParam<screen_case> {};

TEST_P(desktop_shape, regions_past_the_edge_are_misses) {
  const screen_case& c = GetParam();
  resizing_run r(c.first, c.second);
  EXPECT_EQ(r.run(), -1);  // the desktop is gone once the game is over
  EXPECT_EQ(r.reports(), c.reports);
}

const practice::desktop_layout fits = layout(800, 600, 40, 60);

INSTANTIATE_TEST_SUITE_P(
    screens, desktop_shape,
    testing::Values(screen_case{"game_flush_with_bottom_right", layout(800, 600, 80, 120),
                                layout(800, 600, 80, 120), 3},
                    // A picture a pixel off the edge may still be found, a pixel off;
                    // these lie well past it.
                    screen_case{"game_past_the_left_edge", layout(800, 600, -30, 60),
                                layout(800, 600, -30, 60), 0},
                    screen_case{"game_past_the_top_edge", layout(800, 600, 40, -60),
                                layout(800, 600, 40, -60), 0},
                    screen_case{"game_past_the_right_edge", layout(800, 600, 200, 60),
                                layout(800, 600, 200, 60), 0},
                    screen_case{"game_past_the_bottom_edge", layout(800, 600, 40, 200),
                                layout(800, 600, 40, 200), 0},
                    screen_case{"desktop_narrower_than_the_game", layout(719, 600, 0, 60),
                                layout(719, 600, 0, 60), 0},
                    screen_case{"desktop_lower_than_the_game", layout(800, 479, 40, 0),
                                layout(800, 479, 40, 0), 0},
                    screen_case{"desktop_of_one_pixel", layout(1, 1, 0, 0), layout(1, 1, 0, 0), 0},
                    // The game keeps its place on a larger desktop: nothing to find again.
                    screen_case{"desktop_grows", fits, layout(1024, 768, 40, 60), 3},
                    // The game moves: the old regions show nothing, the game is found again.
                    screen_case{"desktop_grows_game_moves", fits, layout(1024, 768, 300, 200), 3},
                    // The old regions now pass the bottom edge.
                    screen_case{"desktop_shrinks_game_moves", fits, layout(760, 500, 20, 10), 3},
                    // The game no longer fits: no further reports.
                    screen_case{"desktop_shrinks_below_the_game", fits, layout(700, 460, 0, 0), 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
