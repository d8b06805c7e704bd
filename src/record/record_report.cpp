#include "record/record_report.h"

#include <charconv>
#include <cmath>
#include <ostream>
#include <string>
#include <string_view>

#include "control/capture/console_text.h"
#include "control/capture/shift_jis.h"

namespace pitchlog {
namespace {

// Every literal of the report, in UTF-8; the file gets them as code page 932.
struct report_texts {
  std::string_view team_header[2];  // indexed by team
  std::string_view pitcher_header[pitchers_per_team];
  std::string_view situation_header[situation_count];
  std::string_view type_label[pitch_type_count];  // each followed by a value
  std::string_view line_end;                      // after the last value
};

constexpr report_texts texts = {
    {"[先攻チームの投手の配球記録]", "[後攻チームの投手の配球記録]"},
    {"[１人目の投手]", "[２人目の投手]", "[３人目の投手]", "[４人目の投手]", "[５人目の投手]"},
    {"[すべて]", "[初球]", "[２ストライク後]", "[ストレートの後]", "[カーブの後]", "[フォークの後]",
     "[シュートの後]"},
    {"ストレート：", "%,カーブ：", "%,フォーク：", "%,シュート："},
    "%",
};

// Printed in place of a percentage whose situation has no pitches yet.
constexpr std::string_view no_pitches = "-";

// The teams in the order they are reported.
constexpr team report_order[] = {team::batting_second, team::batting_first};

// One line to the console, then the same line to the file; each flushed.
void write_line(std::ostream& console, std::ostream& file, std::string_view utf8) {
  console << console_text(utf8) << std::endl;
  file << to_shift_jis(utf8) << std::endl;
}

void write_empty_lines(std::ostream& out, int count) {
  for (int i = 0; i < count; ++i) out << std::endl;
}

double denominator(const pitcher_record& p, int s) {
  switch (static_cast<situation>(s)) {
    case situation::all_pitches:
      return static_cast<double>(p.pitch_count);
    case situation::first_pitch:
      return static_cast<double>(p.first_pitch_count);
    case situation::two_strikes:
      return static_cast<double>(p.two_strike_count);
    default:
      return p.after_total[s - static_cast<int>(situation::after_straight)];
  }
}

// The percentage rounded half up, written as a default-formatted stream
// writes a double (general notation, six significant digits).
void append_percentage(std::string& line, double count, double total) {
  if (!(total > 0.0)) {
    line += no_pitches;
    return;
  }
  const double value = std::floor(count / total * 100.0 + 0.5);
  char digits[32];
  const auto end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6).ptr;
  line.append(digits, end);
}

void write_pitcher_block(std::ostream& console, std::ostream& file, const pitcher_record& p,
                         int slot) {
  write_line(console, file, texts.pitcher_header[slot]);
  std::string line;
  for (int s = 0; s < situation_count; ++s) {
    write_line(console, file, texts.situation_header[s]);
    const double total = denominator(p, s);
    line.clear();
    for (int t = 0; t < pitch_type_count; ++t) {
      line += texts.type_label[t];
      append_percentage(line, p.type_count[s][t], total);
    }
    line += texts.line_end;
    write_line(console, file, line);
  }
  write_line(console, file, {});
}

// Only the current pitcher is reported: slots 1 to 4 always, slot 0 once the
// team has pitched, any other slot never.
bool block_due(const team_record& tr) {
  return (tr.pitcher_slot >= 1 && tr.pitcher_slot < pitchers_per_team) ||
         (tr.pitcher_slot == 0 && tr.has_pitched);
}

}  // namespace

bool open_report_file(report_state& report) {
  report.file.open(report_file_name, std::ios::out | std::ios::trunc);
  return report.file.is_open();
}

void close_report_file(report_state& report) {
  report.file.close();
}

void print_record_report(const pitch_record& record, std::ostream& console, report_state& report) {
  for (team t : report_order) {
    const team_record& tr = record.teams[static_cast<int>(t)];
    write_line(console, report.file, texts.team_header[static_cast<int>(t)]);
    if (block_due(tr))
      write_pitcher_block(console, report.file, tr.pitchers[tr.pitcher_slot], tr.pitcher_slot);
  }
  for (int round = 0; round < 2; ++round) {
    write_empty_lines(console, 2);
    write_empty_lines(report.file, 2);
  }
}

}  // namespace pitchlog
