#pragma once
// The report of both teams' current pitchers, to the console and "text.txt".
#include <fstream>
#include <iosfwd>
#include <string>
#include <string_view>

#include "record/pitch_record.h"

namespace pitchlog {

inline constexpr const char* report_file_name = "text.txt";

// The report's words, in UTF-8 (the file gets them as code page 932).
inline constexpr std::string_view report_team_headers[2] = {  // indexed by team
    "[先攻チームの投手の配球記録]", "[後攻チームの投手の配球記録]"};
inline constexpr std::string_view report_pitcher_headers[pitchers_per_team] = {
    "[１人目の投手]", "[２人目の投手]", "[３人目の投手]", "[４人目の投手]", "[５人目の投手]"};
inline constexpr std::string_view report_situation_headers[situation_count] = {
    "[すべて]",     "[初球]",         "[２ストライク後]", "[ストレートの後]",
    "[カーブの後]", "[フォークの後]", "[シュートの後]"};
inline constexpr std::string_view report_type_names[pitch_type_count] = {"ストレート", "カーブ",
                                                                         "フォーク", "シュート"};

// The teams in the order they are reported.
inline constexpr team report_team_order[2] = {team::batting_second, team::batting_first};

// The pitches the percentages of a situation are taken of.
double situation_total(const pitcher_record& p, situation s);

// The value the report prints before "%" for type `t` in situation `s`: the
// percentage rounded half up, or "-" while the situation has no pitches.
std::string report_percentage(const pitcher_record& p, situation s, pitch_type t);

struct report_state {
  std::ofstream file;  // text.txt, opened once per run, truncating
};

// Opens "text.txt" in the working folder for writing, emptying it; true when open.
bool open_report_file(report_state& report);
void close_report_file(report_state& report);

// Writes the report line by line, each line to the console (UTF-8 on Linux,
// code page 932 on Windows) and then to text.txt (code page 932), flushing at
// every line end.
void print_record_report(const pitch_record& record, std::ostream& console, report_state& report);

}  // namespace pitchlog
