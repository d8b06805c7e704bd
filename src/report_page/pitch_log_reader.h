#pragma once
// "pitches.csv" read back: its rows as the log wrote them, each with the game
// it belongs to, and the lines that could not be read, each with why.
#include <string>
#include <string_view>
#include <vector>

#include "record/pitch_log.h"

namespace pitchlog {

struct logged_pitch {
  pitch_log_row row;
  int game = 0;  // 1 for the file's first game, counted in the order the games appear
  int line = 0;  // in the file, from 1
};

struct left_out_line {
  int line = 0;
  std::string why;
};

enum class log_verdict {
  read,            // a header of the log's columns; rows may still be left out
  empty,           // no bytes, or a header alone
  foreign_header,  // the first line is not a header of the log's columns
};

struct pitch_log_contents {
  log_verdict verdict = log_verdict::empty;
  std::string first_line;  // the foreign header, for the message
  std::vector<logged_pitch> pitches;
  int games = 0;
  std::vector<left_out_line> left_out;
};

// Reads the whole text of a log. Columns are found by their names in the
// header, which must name columns of pitch_log_header, in its order, with all
// that a pitch needs: a log written before a column was added still reads.
// Games are numbered in the order they appear: a new one starts wherever the
// game number (or, with a `run` column, the run) differs from the row before,
// so the numbers stay unambiguous across the runs a log holds.
// `complete_rows_only`: a last line without its line end is being written
// and is left out silently; otherwise it is left out as cut short.
pitch_log_contents read_pitch_log(std::string_view text, bool complete_rows_only = false);

}  // namespace pitchlog
