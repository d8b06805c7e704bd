#include "report_page/pitch_log_reader.h"

#include <charconv>
#include <cmath>
#include <string>

namespace pitchlog {
namespace {

// The values as pitch_log_line writes them.
constexpr std::string_view type_names[pitch_type_count] = {"straight", "curve", "fork", "shoot"};
// The columns of each track point: the start, then burst frames 3 to 11.
constexpr std::string_view point_columns[pitch_log_points][2] = {
    {"p1_x", "p1_y"}, {"p3_x", "p3_y"}, {"p4_x", "p4_y"}, {"p5_x", "p5_y"},   {"p6_x", "p6_y"},
    {"p7_x", "p7_y"}, {"p8_x", "p8_y"}, {"p9_x", "p9_y"}, {"p10_x", "p10_y"}, {"p11_x", "p11_y"}};

std::vector<std::string_view> fields_of(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const std::size_t comma = line.find(',');
    fields.push_back(line.substr(0, comma));
    if (comma == std::string_view::npos) return fields;
    line.remove_prefix(comma + 1);
  }
}

// Where each value lies in a row; -1 for a column the header does not name.
struct column_map {
  int count = 0;
  int run = -1, time = -1;  // optional
  int game = -1, half = -1, team = -1, pitcher = -1, hand = -1, first_pitch = -1, two_strikes = -1,
      type = -1;
  int x[pitch_log_points], y[pitch_log_points];
};

// The columns of a header line; false when it is not a header of the log:
// every name one of pitch_log_header's, in its order, and every value a
// pitch needs present.
bool map_columns(std::string_view line, column_map& map) {
  const std::vector<std::string_view> known = fields_of(pitch_log_header);
  const std::vector<std::string_view> names = fields_of(line);
  column_map m;
  for (int p = 0; p < pitch_log_points; ++p) m.x[p] = m.y[p] = -1;
  const std::pair<std::string_view, int*> named[] = {{"run", &m.run},
                                                     {"time", &m.time},
                                                     {"game", &m.game},
                                                     {"half", &m.half},
                                                     {"team", &m.team},
                                                     {"pitcher", &m.pitcher},
                                                     {"hand", &m.hand},
                                                     {"first_pitch", &m.first_pitch},
                                                     {"two_strikes", &m.two_strikes},
                                                     {"type", &m.type}};
  std::size_t next_known = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string_view name = names[i];
    while (next_known < known.size() && known[next_known] != name) ++next_known;
    if (next_known == known.size()) return false;
    ++next_known;
    const int column = static_cast<int>(i);
    for (const auto& [n, where] : named)
      if (n == name) *where = column;
    for (int p = 0; p < pitch_log_points; ++p) {
      if (name == point_columns[p][0]) m.x[p] = column;
      if (name == point_columns[p][1]) m.y[p] = column;
    }
  }
  for (const int* needed :
       {&m.game, &m.half, &m.team, &m.pitcher, &m.hand, &m.first_pitch, &m.two_strikes, &m.type})
    if (*needed < 0) return false;
  for (int p = 0; p < pitch_log_points; ++p)
    if (m.x[p] < 0 || m.y[p] < 0) return false;
  m.count = static_cast<int>(names.size());
  map = m;
  return true;
}

template <typename number>
bool parse_number(std::string_view text, number& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// Reads one row into `out`; what is wrong with it, or nothing.
std::string parse_row(const std::vector<std::string_view>& f, const column_map& m,
                      logged_pitch& out) {
  if (static_cast<int>(f.size()) != m.count)
    return std::to_string(f.size()) + " values where the header has " + std::to_string(m.count);
  pitch_log_row& row = out.row;
  int32_t game = 0;
  if (!parse_number(f[m.game], game) || game < 1) return "game '" + std::string(f[m.game]) + "'";
  if (f[m.half] != "top" && f[m.half] != "bottom") return "half '" + std::string(f[m.half]) + "'";
  row.pitching = f[m.half] == "top" ? team::batting_second : team::batting_first;
  if (f[m.team] != (row.pitching == team::batting_second ? "batting_second" : "batting_first"))
    return "team '" + std::string(f[m.team]) + "' in the " + std::string(f[m.half]) + " half";
  int32_t pitcher = 0;
  if (!parse_number(f[m.pitcher], pitcher) || pitcher < 1 || pitcher > pitchers_per_team)
    return "pitcher '" + std::string(f[m.pitcher]) + "'";
  row.pitcher_slot = pitcher - 1;
  if (f[m.hand] != "right" && f[m.hand] != "left") return "hand '" + std::string(f[m.hand]) + "'";
  row.hand = f[m.hand] == "left" ? pitcher_hand::left : pitcher_hand::right;
  for (const auto& [column, flag] :
       {std::pair{m.first_pitch, &row.first_pitch_flag}, {m.two_strikes, &row.two_strike_flag}}) {
    if (f[column] != "0" && f[column] != "1") return "flag '" + std::string(f[column]) + "'";
    *flag = f[column] == "1" ? 1 : 0;
  }
  int type = 0;
  while (type < pitch_type_count && type_names[type] != f[m.type]) ++type;
  if (type == pitch_type_count) return "type '" + std::string(f[m.type]) + "'";
  row.type = static_cast<pitch_type>(type);
  for (int p = 0; p < pitch_log_points; ++p) {
    pitch_log_point& point = row.track[p];
    if (!parse_number(f[m.x[p]], point.x) || !parse_number(f[m.y[p]], point.y) ||
        !std::isfinite(point.x) || !std::isfinite(point.y))
      return "track point '" + std::string(f[m.x[p]]) + "," + std::string(f[m.y[p]]) + "'";
  }
  if (m.time >= 0) row.time = f[m.time];
  return {};
}

}  // namespace

pitch_log_contents read_pitch_log(std::string_view text, bool complete_rows_only) {
  pitch_log_contents log;
  column_map columns;
  bool have_header = false;
  std::string last_game;  // the run and game of the row before
  int line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const std::size_t end = text.find('\n');
    const bool complete = end != std::string_view::npos;
    std::string_view line = text.substr(0, end);
    text.remove_prefix(complete ? end + 1 : text.size());
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    if (!complete && complete_rows_only) break;
    // A header opens the file; one further down (logs put one after the
    // other) maps the rows after it.
    if (map_columns(line, columns)) {
      have_header = true;
      continue;
    }
    if (!have_header) {
      log.verdict = log_verdict::foreign_header;
      log.first_line = line;
      return log;
    }
    if (!complete) {
      log.left_out.push_back({line_number, "cut short"});
      break;
    }
    const std::vector<std::string_view> fields = fields_of(line);
    logged_pitch pitch;
    pitch.line = line_number;
    if (std::string why = parse_row(fields, columns, pitch); !why.empty()) {
      log.left_out.push_back({line_number, std::move(why)});
      continue;
    }
    std::string game(columns.run >= 0 ? fields[columns.run] : std::string_view());
    game += '\n';
    game += fields[columns.game];
    if (game != last_game) ++log.games;
    last_game = std::move(game);
    pitch.game = log.games;
    log.pitches.push_back(std::move(pitch));
  }
  if (have_header && (!log.pitches.empty() || !log.left_out.empty()))
    log.verdict = log_verdict::read;
  return log;
}

}  // namespace pitchlog
