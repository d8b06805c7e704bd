// Whole runs of pitchlog on the practice game's in-process desktop, in virtual
// time, with the reference pictures cut from the practice game itself.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <tuple>

#include "control/main_loop.h"
#include "practice/data_pictures.h"
#include "practice/desktop.h"
#include "practice/scenario.h"
#include "support/pitch_tally.h"
#include "support/test_support.h"

namespace {

using namespace pitchlog;

practice::scenario parse(const std::string& json) {
  std::string error;
  std::optional<practice::scenario> s = practice::parse_scenario(json, error);
  EXPECT_TRUE(s) << error;
  return s.value_or(practice::scenario{});
}

struct practice_run {
  test_support::scoped_work_dir dir;
  practice::desktop desk;
  platform p;
  std::ostringstream console;
  std::unique_ptr<watcher> w = std::make_unique<watcher>();

  explicit practice_run(practice::scenario game) : desk(practice::make_desktop(std::move(game))) {
    std::string error;
    EXPECT_TRUE(practice::write_data_pictures(dir.path() / "data", error)) << error;
    practice::connect_platform(desk, p);
    p.console = &console;
  }
  int run() { return run_watcher(*w, p); }
};

using test_support::record_tally;
using test_support::truth_tally;

TEST(main_loop_on_the_practice_game, records_each_pitch_for_its_pitcher) {
  const practice::scenario game = parse(R"({
    "desktop": {"width": 1280, "height": 800, "game_x": 301, "game_y": 157, "pattern": "checker"},
    "timeline": [
      {"screen": "play_ball", "ms": 1500},
      {"pitch": "straight", "pitcher": "AKAGI", "hand": "right", "half": "top",
       "balls": 0, "strikes": 0},
      {"pitch": "curve", "balls": 0, "strikes": 1},
      {"pitch": "fork", "balls": 1, "strikes": 2},
      {"screen": "field", "ms": 1200},
      {"screen": "scoreboard", "ms": 1000, "half": "bottom"},
      {"pitch": "shoot", "pitcher": "KURODA", "hand": "left", "half": "bottom",
       "balls": 0, "strikes": 0},
      {"pitch": "curve", "balls": 0, "strikes": 1},
      {"screen": "time_out", "ms": 800},
      {"pitch": "straight", "pitcher": "MIDORI", "hand": "right", "half": "top",
       "balls": 0, "strikes": 0},
      {"screen": "field", "ms": 1000}
    ]})");
  practice_run r(game);
  EXPECT_EQ(r.run(), -1);  // the desktop is gone once the scenario is over
  EXPECT_EQ(record_tally(r.w->record), truth_tally(game));
  EXPECT_EQ(r.w->record.teams[static_cast<int>(team::batting_second)].pitcher_slot, 1);
  EXPECT_EQ(r.w->record.teams[static_cast<int>(team::batting_first)].pitcher_slot, 0);
  EXPECT_EQ(r.w->trigger.burst_count, 6);
}

}  // namespace
