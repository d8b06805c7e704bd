// Whole runs of pitchlog on the practice game's in-process desktop, in virtual
// time, with the reference pictures cut from the practice game itself.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <streambuf>
#include <string>

#include <opencv2/core/utility.hpp>

#include "control/capture/shift_jis.h"
#include "control/main_loop.h"
#include "support/pitch_tally.h"
#include "support/practice_run.h"

namespace {

using namespace pitchlog;

using test_support::record_tally;
using test_support::truth_tally;

TEST(main_loop_on_the_practice_game, records_each_pitch_for_its_pitcher) {
  const practice::scenario game = test_support::scenario_of(R"({
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
  test_support::practice_run r(game);
  EXPECT_EQ(r.run(), -1);  // the desktop is gone once the scenario is over
  EXPECT_EQ(record_tally(r.w->record), truth_tally(game));
  EXPECT_EQ(r.w->record.teams[static_cast<int>(team::batting_second)].pitcher_slot, 1);
  EXPECT_EQ(r.w->record.teams[static_cast<int>(team::batting_first)].pitcher_slot, 0);
  EXPECT_EQ(r.w->trigger.burst_count, 6);
}

// A stream that writes through to `file` and sends `signal` to its own
// process at the end of each of the first `times` lines it is given: as the
// console, after such a report line reached the console and before it
// reaches text.txt.
class signalling_console : public std::streambuf {
 public:
  signalling_console(const char* file, int signal, int times)
      : file_(file, std::ios::binary), signal_(signal), times_(times) {}

 protected:
  int overflow(int c) override {
    if (c != traits_type::eof()) file_.put(static_cast<char>(c));
    return c;
  }
  int sync() override {
    file_.flush();
    if (times_ > 0) {
      --times_;
      std::raise(signal_);
    }
    return 0;
  }

 private:
  std::ofstream file_;
  int signal_;
  int times_;
};

// SIGINT, SIGTERM or SIGHUP in the middle of a report, or while its row is
// logged, ends the run as the signal does, but only once the report is whole
// on the console and in text.txt; a second one does not wait, and leaves the
// file one line behind the console. SIGPIPE (a console whose reader went
// away) ends nothing: the run goes on to its end.
TEST(main_loop_on_the_practice_game, an_end_signal_during_a_report_waits_for_its_last_line) {
  // As pitchlog's main does; no worker threads to copy into the forked run.
  cv::setNumThreads(1);
  struct row {
    int signal;
    int times;
    bool at_the_row;  // raised on the error line of a row that cannot be logged
  } rows[] = {{SIGINT, 1, false}, {SIGTERM, 1, false}, {SIGTERM, 2, false},
              {SIGHUP, 1, false}, {SIGINT, 1, true},   {SIGPIPE, 1000, false}};
  for (const row& t : rows) {
    SCOPED_TRACE(testing::Message() << strsignal(t.signal) << " " << t.times << " times"
                                    << (t.at_the_row ? " at the row" : ""));
    test_support::practice_run r(test_support::scenario_of(R"({
      "timeline": [
        {"screen": "play_ball", "ms": 1500},
        {"pitch": "curve", "pitcher": "AKAGI", "hand": "right", "half": "top",
         "balls": 0, "strikes": 0},
        {"screen": "field", "ms": 1000}]})"));
    if (t.at_the_row) std::filesystem::create_directory("pitches.csv");
    const auto ends_as_it_should = [&](int status) {
      return t.signal == SIGPIPE ? WIFEXITED(status) && WEXITSTATUS(status) == 255
                                 : WIFSIGNALED(status) && WTERMSIG(status) == t.signal;
    };
    EXPECT_EXIT(
        {
          signalling_console console("console.txt", t.signal, t.at_the_row ? 0 : t.times);
          signalling_console error("error.txt", t.signal, t.at_the_row ? t.times : 0);
          std::ostream out(&console);
          std::ostream err(&error);
          r.p.console = &out;
          r.p.error = &err;
          std::exit(pitchlog::exit_code_of(pitchlog::run_pitchlog(r.p)));
        },
        ends_as_it_should, "");
    const std::string shown = test_support::read_file("console.txt");
    const std::string kept = test_support::read_file("text.txt");
    if (t.times != 2) {
      // The whole first report: the pitching team's block of seven situations,
      // the other team's bare header last, and the four empty lines that close it.
      EXPECT_EQ(test_support::count_of(shown, "ストレート："), 7);
      EXPECT_TRUE(shown.ends_with("[先攻チームの投手の配球記録]\n\n\n\n\n")) << shown;
      EXPECT_EQ(kept, to_shift_jis(shown));
    } else {
      EXPECT_EQ(shown, "[後攻チームの投手の配球記録]\n[１人目の投手]\n");
      EXPECT_EQ(kept, to_shift_jis("[後攻チームの投手の配球記録]\n"));
    }
  }
}

}  // namespace
