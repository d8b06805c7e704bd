#include "record/pitch_log.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <optional>
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

int columns_of(std::string_view line) {
  return 1 + static_cast<int>(std::count(line.begin(), line.end(), ','));
}

// The longest a row can be: a cut row ends within this much of the file's end.
constexpr std::streamoff tail_length = 4096;

// What must go before the first row written through a newly opened file: the
// header when the file is new or empty; when a row of an earlier run was cut
// short, what ends it so that it cannot swallow this one nor pass for whole
// (empty columns up to one more than a whole row has, the last one "cut").
// Nothing when the file begins with another header: it is not written to.
std::optional<std::string> lead_in() {
  std::error_code error;
  const auto size = std::filesystem::file_size(pitch_log_file_name, error);
  if (error || size == 0) return std::string(pitch_log_header) + '\n';
  std::ifstream in(pitch_log_file_name, std::ios::binary);
  std::string first;
  std::getline(in, first);
  if (first != pitch_log_header) return std::nullopt;
  if (in.eof()) return std::string("\n");  // the header alone, its line end lost
  const std::streamoff length = static_cast<std::streamoff>(size);
  const std::streamoff from = std::max<std::streamoff>(0, length - tail_length);
  in.clear();
  in.seekg(from);
  std::string tail(static_cast<size_t>(length - from), '\0');
  in.read(tail.data(), static_cast<std::streamsize>(tail.size()));
  if (tail.ends_with('\n')) return std::string();
  const std::string_view cut = std::string_view(tail).substr(tail.rfind('\n') + 1);
  const int padding = std::max(1, columns_of(pitch_log_header) + 1 - columns_of(cut));
  return std::string(static_cast<size_t>(padding), ',') + "cut\n";
}

// One line on `error`, unless the last attempt failed too.
void say_once(pitch_log_state& log, std::ostream& error, const std::string& why) {
  if (log.failing) return;
  log.failing = true;
  error << "pitchlog: " << why << "; the pitch is reported but not logged, and the run goes on"
        << std::endl;
}

}  // namespace

int32_t pitch_game(pitch_log_state& log, const pitch_record& record) {
  const int64_t counted = pitches_counted(record);
  if (log.game == 0 || counted <= log.counted) ++log.game;
  log.counted = counted;
  return log.game;
}

std::string pitch_log_line(std::string_view run, const pitch_log_row& row, int32_t game) {
  const bool top = row.pitching == team::batting_second;
  std::string line(run);
  line += ',' + row.time;
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
    const std::optional<std::string> before = lead_in();
    if (!before) {
      say_once(log, error,
               std::string(pitch_log_file_name) +
                   " begins with other columns than pitchlog writes, so it is left as it is "
                   "(move it away to start a new log)");
      return;
    }
    text = *before;
    errno = 0;
    log.file.open(pitch_log_file_name, std::ios::binary | std::ios::app);
  }
  text += pitch_log_line(log.run, row, game);
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
  std::string why = std::string("cannot write ") + pitch_log_file_name;
  if (cause != 0) why += std::string(" (") + std::strerror(cause) + ")";
  say_once(log, error, why);
}

}  // namespace pitchlog
