#pragma once
// "pitches.csv": one row per analysed pitch, appended in the working folder so
// that it keeps a history across runs. Writing it never ends a run: a failure
// is said once on the error stream and the next pitch tries again.
#include <array>
#include <cstdint>
#include <fstream>
#include <iosfwd>
#include <string>
#include <string_view>

#include "record/pitch_record.h"
#include "record/pitch_type.h"

namespace pitchlog {

inline constexpr const char* pitch_log_file_name = "pitches.csv";

// The track's start (burst frames 1 and 2), then one point per frame 3 to 11.
inline constexpr int pitch_log_points = 10;

// The columns, in order: the header row of the file. A file that begins with
// another line is not written to.
inline constexpr const char* pitch_log_header =
    "run,time,game,half,team,pitcher,hand,first_pitch,two_strikes,type,"
    "p1_x,p1_y,p3_x,p3_y,p4_x,p4_y,p5_x,p5_y,p6_x,p6_y,p7_x,p7_y,p8_x,p8_y,p9_x,p9_y,"
    "p10_x,p10_y,p11_x,p11_y";

struct pitch_log_point {
  float x = 0.0f;  // ball search region coordinates; x == 0: no ball
  float y = 0.0f;
};

// What one row says about a pitch.
struct pitch_log_row {
  std::string time;  // when the pitch was caught: the platform's clock
  team pitching = team::batting_second;
  int32_t pitcher_slot = 0;  // 0 for the team's first pitcher
  pitcher_hand hand = pitcher_hand::right;
  int32_t first_pitch_flag = 0;
  int32_t two_strike_flag = 0;
  pitch_type type = pitch_type::straight;
  std::array<pitch_log_point, pitch_log_points> track{};
};

// What the log keeps across pitches.
struct pitch_log_state {
  std::string run;       // when the run began, the first column of its every row
  std::ofstream file;    // open while writing works
  bool failing = false;  // the last attempt failed (said once until a row is written again)
  int32_t game = 0;      // 1 from the first pitch of the run, one more after each record reset
  int64_t counted = 0;   // pitches the record held after the last row
  int32_t pitches = 0;   // rows attempted this run
};

// The game a pitch belongs to: the same as the last row's while the record
// keeps counting up, the next one when it has been emptied since.
int32_t pitch_game(pitch_log_state& log, const pitch_record& record);

// The row of run `run` as CSV text, without the line end.
std::string pitch_log_line(std::string_view run, const pitch_log_row& row, int32_t game);

// Appends the row and flushes it; `record` is the record with this pitch
// counted. Before the first row written through the file, the header goes to
// a new or empty file, and a row an earlier run left cut short is padded to
// one column more than a whole row, its last column "cut", so that no reader
// takes it for whole. A file that begins with another header, or that cannot
// be written, gets nothing: one line goes to `error` and the run goes on.
void append_pitch_row(pitch_log_state& log, const pitch_log_row& row, const pitch_record& record,
                      std::ostream& error);

}  // namespace pitchlog
