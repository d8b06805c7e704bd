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

// Printed in place of a percentage whose situation has no pitches yet.
constexpr std::string_view no_pitches = "-";

// One line to the console, then the same line to the file; each flushed.
void write_line(std::ostream& console, std::ostream& file, std::string_view utf8) {
  console << console_text(utf8) << std::endl;
  file << to_shift_jis(utf8) << std::endl;
}

void write_empty_lines(std::ostream& out, int count) {
  for (int i = 0; i < count; ++i) out << std::endl;
}

void write_pitcher_block(std::ostream& console, std::ostream& file, const pitcher_record& p,
                         int slot) {
  write_line(console, file, report_pitcher_headers[slot]);
  std::string line;
  for (int s = 0; s < situation_count; ++s) {
    write_line(console, file, report_situation_headers[s]);
    // "ストレート：40%,カーブ：20%,フォーク：20%,シュート：20%"
    line.clear();
    for (int t = 0; t < pitch_type_count; ++t) {
      if (t > 0) line += "%,";
      line += report_type_names[t];
      line += "：";
      line += report_percentage(p, static_cast<situation>(s), static_cast<pitch_type>(t));
    }
    line += '%';
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

double situation_total(const pitcher_record& p, situation s) {
  switch (s) {
    case situation::all_pitches:
      return static_cast<double>(p.pitch_count);
    case situation::first_pitch:
      return static_cast<double>(p.first_pitch_count);
    case situation::two_strikes:
      return static_cast<double>(p.two_strike_count);
    default:
      return p.after_total[static_cast<int>(s) - static_cast<int>(situation::after_straight)];
  }
}

// The percentage rounded half up, written as a default-formatted stream
// writes a double (general notation, six significant digits).
std::string report_percentage(const pitcher_record& p, situation s, pitch_type t) {
  const double total = situation_total(p, s);
  if (!(total > 0.0)) return std::string(no_pitches);
  const double count = p.type_count[static_cast<int>(s)][static_cast<int>(t)];
  const double value = std::floor(count / total * 100.0 + 0.5);
  char digits[32];
  const auto end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, 6).ptr;
  return std::string(digits, end);
}

bool open_report_file(report_state& report) {
  report.file.open(report_file_name, std::ios::out | std::ios::trunc);
  return report.file.is_open();
}

void close_report_file(report_state& report) {
  report.file.close();
}

void print_record_report(const pitch_record& record, std::ostream& console, report_state& report) {
  for (team t : report_team_order) {
    const team_record& tr = record.teams[static_cast<int>(t)];
    write_line(console, report.file, report_team_headers[static_cast<int>(t)]);
    if (block_due(tr))
      write_pitcher_block(console, report.file, tr.pitchers[tr.pitcher_slot], tr.pitcher_slot);
  }
  for (int round = 0; round < 2; ++round) {
    write_empty_lines(console, 2);
    write_empty_lines(report.file, 2);
  }
}

}  // namespace pitchlog
