#pragma once
// What a correct watcher of the practice game prints: the reports built from
// the truth log alone, by the practice game's own small tally of the report
// rules (independent of pitchlog's record and report code).
//
// Rules: each pitch is counted for its team's current pitcher (a pitcher whose
// name differs from the team's last one is the next in line, up to five); in
// every situation it belongs to (all pitches, first pitch of an at-bat, after
// two strikes, after the previous pitch's type). The count panel is read once
// per report, at the first pitch after it; a 0-0 count, a pitcher change of
// either team and a reset forget the previous type, which both teams share.
// After every analysed pitch both teams' current pitchers are printed, the
// team batting second first, a team only once it has pitched since the last
// reset; percentages are floor(c / n * 100 + 0.5), "-" where n is 0.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "practice/scenario.h"
#include "record/pitch_type.h"

namespace practice {

inline constexpr int tally_teams = 2;     // 0: batting first, 1: batting second
inline constexpr int tally_pitchers = 5;  // per team
inline constexpr int tally_situations = 7;

struct pitcher_tally {
  int pitches = 0;
  int first_pitches = 0;
  int two_strike_pitches = 0;
  std::array<std::array<int, pitchlog::pitch_type_count>, tally_situations> types{};
};

struct team_tally {
  int slot = 0;
  bool has_pitched = false;
  std::string pitcher;  // name of the current pitcher; empty before the team's first pitch
  std::array<pitcher_tally, tally_pitchers> pitchers{};
};

// The watcher's record as the truth says it must be.
struct expected_watch {
  std::array<team_tally, tally_teams> teams{};
  int previous_type = -1;  // -1: none
  bool count_read = false;
  bool first_pitch = false;
  bool two_strikes = false;
};

// The record emptied (a new game, or the game gone for long); the count is read afresh.
void expect_reset(expected_watch& w);

// A pitch whose burst is dropped (no ball): its count may be read, nothing is counted.
void expect_dropped_pitch(expected_watch& w, const truth_pitch& p);

// A pitch analysed as `type`: counted, and the report printed after it (UTF-8,
// every line ending in '\n', the four closing empty lines included).
std::string expect_pitch(expected_watch& w, const truth_pitch& p, pitchlog::pitch_type type);

// The reports of a whole truth log, every pitch analysed as thrown and none dropped.
std::vector<std::string> expected_reports(const std::vector<truth_pitch>& pitches);

// UTF-8 to code page 932 through iconv; nothing when a character has no code.
std::optional<std::string> to_cp932(std::string_view utf8);

// One line of a truth log back into a pitch; nothing (and why) when it is malformed.
std::optional<truth_pitch> parse_truth_line(std::string_view line, std::string& error);

// How a report file compares with the truth: the reports are matched one by
// one, each against the report of its pitch under each of the four types.
struct report_check {
  int thrown = 0;                // pitches in the truth log
  int recorded = 0;              // reports in the file
  int as_thrown = 0;             // reports that match the truth's type
  bool identical = false;        // the file is byte for byte the expected reports
  std::string first_difference;  // what the first mismatching report was, if any
};
report_check check_reports(const std::vector<truth_pitch>& pitches, std::string_view cp932_file);

// "practice-game expect --truth FILE [--out FILE] [--report FILE]": writes the
// expected reports (code page 932) and compares a report file with them.
// argv[0] is "expect". Exit code 0 only when the report file matches.
int run_expect_command(int argc, char** argv);

}  // namespace practice
