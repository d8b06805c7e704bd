// "pitches.csv": the rows as written by hand from the row's values, the game
// count across record resets, and a log that cannot be written or was cut.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "record/pitch_log.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace pitchlog;

constexpr const char* header =
    "time,game,half,team,pitcher,hand,first_pitch,two_strikes,type,p1_x,p1_y,p3_x,p3_y,p4_x,p4_y,"
    "p5_x,p5_y,p6_x,p6_y,p7_x,p7_y,p8_x,p8_y,p9_x,p9_y,p10_x,p10_y,p11_x,p11_y\n";

pitch_log_row curve_row() {
  pitch_log_row row;
  row.time = "0:00:26.573";
  row.pitching = team::batting_first;
  row.pitcher_slot = 1;
  row.hand = pitcher_hand::left;
  row.first_pitch_flag = 0;
  row.two_strike_flag = 1;
  row.type = pitch_type::curve;
  for (int i = 0; i < pitch_log_points; ++i) row.track[i] = {328.5f - 4 * i, 132.25f + i};
  return row;
}

constexpr const char* curve_line =
    "0:00:26.573,2,bottom,batting_first,2,left,0,1,curve,328.5,132.25,324.5,133.25,320.5,134.25,"
    "316.5,135.25,312.5,136.25,308.5,137.25,304.5,138.25,300.5,139.25,296.5,140.25,292.5,141.25";

// A record holding `n` pitches of the team batting second's first pitcher.
pitch_record record_of(int n) {
  pitch_record r;
  r.teams[1].pitchers[0].pitch_count = n;
  return r;
}

TEST(pitch_log, row_holds_the_pitch_in_its_columns) {
  EXPECT_EQ(pitch_log_line(curve_row(), 2), curve_line);
}

TEST(pitch_log, game_counts_up_after_each_record_reset) {
  // Pitches the record holds after each row, and the game each row belongs to.
  const std::vector<std::pair<int, int>> rows = {{1, 1}, {2, 1}, {3, 1}, {1, 2},
                                                 {2, 2}, {1, 3}, {5, 3}};
  pitch_log_state log;
  for (const auto& [counted, game] : rows) {
    SCOPED_TRACE(counted);
    EXPECT_EQ(pitch_game(log, record_of(counted)), game);
  }
}

TEST(pitch_log, appends_across_runs_with_one_header) {
  test_support::scoped_work_dir dir;
  std::ostringstream error;
  for (int run = 1; run <= 2; ++run) {
    pitch_log_state log;
    append_pitch_row(log, curve_row(), record_of(1), error);
  }
  const std::string once = std::string(curve_line).replace(12, 1, "1") + "\n";
  EXPECT_EQ(test_support::read_file("pitches.csv"), header + once + once);
  EXPECT_EQ(error.str(), "");
}

TEST(pitch_log, cannot_be_written_says_so_once_and_tries_again) {
  test_support::scoped_work_dir dir;
  fs::create_directory("pitches.csv");
  pitch_log_state log;
  std::ostringstream error;
  append_pitch_row(log, curve_row(), record_of(1), error);
  append_pitch_row(log, curve_row(), record_of(2), error);
  EXPECT_EQ(test_support::count_of(error.str(), "\n"), 1) << error.str();
  EXPECT_TRUE(error.str().starts_with("pitchlog: cannot write pitches.csv")) << error.str();

  fs::remove("pitches.csv");
  append_pitch_row(log, curve_row(), record_of(3), error);
  const std::string row = std::string(curve_line).replace(12, 1, "1") + "\n";
  EXPECT_EQ(test_support::read_file("pitches.csv"), header + row);
  EXPECT_EQ(log.pitches, 3);
}

TEST(pitch_log, row_cut_short_by_an_earlier_run_stays_apart) {
  test_support::scoped_work_dir dir;
  std::ofstream("pitches.csv", std::ios::binary) << header << "0:00:01.000,1,top,batt";
  pitch_log_state log;
  std::ostringstream error;
  append_pitch_row(log, curve_row(), record_of(1), error);
  const std::string row = std::string(curve_line).replace(12, 1, "1") + "\n";
  EXPECT_EQ(test_support::read_file("pitches.csv"),
            header + std::string("0:00:01.000,1,top,batt\n") + row);
}

}  // namespace
