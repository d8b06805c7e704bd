#include "record/pitch_log.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <ostream>
#include <system_error>

namespace pitchlog {
namespace {

constexpr const char* type_names[pitch_type_count] = {"straight", "curve", "fork", "shoot"};

void append_number(std::string& out, float value) {
  char digits[32];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  if (ec == std::errc()) out.append(digits, end);
}

int64_t pitches_counted(const pitch_record& record) {
  int64_t total = 0;
  for (const team_record& t : record.teams)
    for (const pitcher_record& p : t.pitchers) total += p.pitch_count;
  return total;
}

// What must go before the first row written through a newly opened file: the
// header when the file is empty, a line end when a row of an earlier run was
// cut short (so that it cannot swallow this one).
std::string lead_in() {
  std::error_code error;
  const auto size = std::filesystem::file_size(pitch_log_file_name, error);
  if (error || size == 0) return std::string(pitch_log_header) + '\n';
  std::ifstream in(pitch_log_file_name, std::ios::binary);
  in.seekg(-1, std::ios::end);
  char last = '\n';
  in.get(last);
  return last == '\n' ? std::string() : std::string("\n");
}

}  // namespace

int32_t pitch_game(pitch_log_state& log, const pitch_record& record) {
  const int64_t counted = pitches_counted(record);
  if (log.game == 0 || counted <= log.counted) ++log.game;
  log.counted = counted;
  return log.game;
}

std::string pitch_log_line(const pitch_log_row& row, int32_t game) {
  const bool top = row.pitching == team::batting_second;
  std::string line = row.time;
  line += ',' + std::to_string(game);
  line += top ? ",top,batting_second," : ",bottom,batting_first,";
  line += std::to_string(row.pitcher_slot + 1);
  line += row.hand == pitcher_hand::left ? ",left," : ",right,";
  line += std::to_string(row.first_pitch_flag) + ',' + std::to_string(row.two_strike_flag) + ',';
  line += type_names[static_cast<int>(row.type)];
  for (const pitch_log_point& p : row.track) {
    line += ',';
    append_number(line, p.x);
    line += ',';
    append_number(line, p.y);
  }
  return line;
}

void append_pitch_row(pitch_log_state& log, const pitch_log_row& row, const pitch_record& record,
                      std::ostream& error) {
  const int32_t game = pitch_game(log, record);
  ++log.pitches;
  std::string text;
  if (!log.file.is_open()) {
    text = lead_in();
    errno = 0;
    log.file.open(pitch_log_file_name, std::ios::binary | std::ios::app);
  }
  text += pitch_log_line(row, game);
  text += '\n';
  if (log.file.is_open()) {
    log.file.write(text.data(), static_cast<std::streamsize>(text.size()));
    log.file.flush();
    if (log.file) {
      log.failing = false;
      return;
    }
  }
  const int cause = errno;
  log.file.close();
  log.file.clear();
  if (log.failing) return;
  log.failing = true;
  error << "pitchlog: cannot write " << pitch_log_file_name;
  if (cause != 0) error << " (" << std::strerror(cause) << ")";
  error << "; the pitch is reported but not logged, and the run goes on" << std::endl;
}

}  // namespace pitchlog
