// "pitches.csv": the rows as written by hand from the row's values, the game
// count across record resets, and a log that cannot be written, was cut, or
// belongs to other columns.
#include <gtest/gtest.h>

#include <cstring>
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
    "run,time,game,half,team,pitcher,hand,first_pitch,two_strikes,type,p1_x,p1_y,p3_x,p3_y,p4_x,"
    "p4_y,p5_x,p5_y,p6_x,p6_y,p7_x,p7_y,p8_x,p8_y,p9_x,p9_y,p10_x,p10_y,p11_x,p11_y\n";
constexpr const char* run = "2026-12-08 14:03:12.345";

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
    "2026-12-08 14:03:12.345,0:00:26.573,2,bottom,batting_first,2,left,0,1,curve,328.5,132.25,"
    "324.5,133.25,320.5,134.25,316.5,135.25,312.5,136.25,308.5,137.25,304.5,138.25,300.5,139.25,"
    "296.5,140.25,292.5,141.25";

// The row of the first game of run `run`, as appended.
std::string first_game_row(const std::string& run_start = run) {
  return run_start + std::string(curve_line).substr(23, 13) + "1" +
         std::string(curve_line).substr(37) + "\n";
}

// A record holding `n` pitches of the team batting second's first pitcher.
pitch_record record_of(int n) {
  pitch_record r;
  r.teams[1].pitchers[0].pitch_count = n;
  return r;
}

TEST(pitch_log, row_holds_the_pitch_in_its_columns) {
  EXPECT_EQ(pitch_log_line(run, curve_row(), 2), curve_line);
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

TEST(pitch_log, appends_across_runs_with_one_header_each_row_naming_its_run) {
  test_support::scoped_work_dir dir;
  std::ostringstream error;
  const std::string starts[] = {run, "2026-12-08 15:20:00.001"};
  for (const std::string& start : starts) {
    pitch_log_state log;
    log.run = start;
    append_pitch_row(log, curve_row(), record_of(1), error);
  }
  EXPECT_EQ(test_support::read_file("pitches.csv"),
            header + first_game_row(starts[0]) + first_game_row(starts[1]));
  EXPECT_EQ(error.str(), "");
}

TEST(pitch_log, cannot_be_written_says_so_once_and_tries_again) {
  test_support::scoped_work_dir dir;
  fs::create_directory("pitches.csv");
  pitch_log_state log;
  log.run = run;
  std::ostringstream error;
  append_pitch_row(log, curve_row(), record_of(1), error);
  append_pitch_row(log, curve_row(), record_of(2), error);
  EXPECT_EQ(test_support::count_of(error.str(), "\n"), 1) << error.str();
  EXPECT_TRUE(error.str().starts_with("pitchlog: cannot write pitches.csv")) << error.str();

  fs::remove("pitches.csv");
  append_pitch_row(log, curve_row(), record_of(3), error);
  EXPECT_EQ(test_support::read_file("pitches.csv"), header + first_game_row());
  EXPECT_EQ(log.pitches, 3);
}

// What an earlier run left, and what it becomes after two rows of this run:
// a row cut short is padded to one column more than a whole row, its last
// "cut"; a file of other columns is left alone, said once.
TEST(pitch_log, earlier_file_is_ended_or_left_alone) {
  const std::string whole = first_game_row();
  const std::string cut_in_last_number = whole.substr(0, whole.size() - 5);  // "...,292.5,14"
  const std::string older_header = std::string(header).substr(4);  // without the run column
  const struct {
    const char* name;
    std::string before;
    std::string after;  // empty: as before
  } rows[] = {
      {"whole rows", header + whole, header + whole + whole + whole},
      {"cut in its last number", header + cut_in_last_number,
       header + cut_in_last_number + ",cut\n" + whole + whole},
      {"cut after five columns",
       header + std::string("2026-12-07 09:00:00.000,0:00:01.000,1,top,b"),
       header + std::string("2026-12-07 09:00:00.000,0:00:01.000,1,top,b") + std::string(26, ',') +
           "cut\n" + whole + whole},
      {"the header without its line end", std::string(header).substr(0, std::strlen(header) - 1),
       header + whole + whole},
      {"an older column set", older_header + "0:00:01.000,1,top\n", ""},
      {"a header the user edited", "Run,Time\n", ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    test_support::scoped_work_dir dir;
    std::ofstream("pitches.csv", std::ios::binary) << r.before;
    pitch_log_state log;
    log.run = run;
    std::ostringstream error;
    append_pitch_row(log, curve_row(), record_of(1), error);
    append_pitch_row(log, curve_row(), record_of(2), error);
    EXPECT_EQ(test_support::read_file("pitches.csv"), r.after.empty() ? r.before : r.after);
    EXPECT_EQ(test_support::count_of(error.str(), "\n"), r.after.empty() ? 1 : 0) << error.str();
  }
}

}  // namespace
