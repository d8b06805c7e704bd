#include "practice/expected_report.h"

#include <iconv.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include <nlohmann/json.hpp>

namespace practice {
namespace {

using pitchlog::pitch_type;
using json = nlohmann::json;

// Situation rows in report order; the after situations start at `after_first`.
constexpr int all_pitches = 0, first_pitch = 1, two_strikes = 2, after_first = 3;

constexpr const char* team_headers[tally_teams] = {"[先攻チームの投手の配球記録]",
                                                   "[後攻チームの投手の配球記録]"};
constexpr const char* pitcher_headers[tally_pitchers] = {
    "[１人目の投手]", "[２人目の投手]", "[３人目の投手]", "[４人目の投手]", "[５人目の投手]"};
constexpr const char* situation_headers[tally_situations] = {
    "[すべて]",     "[初球]",         "[２ストライク後]", "[ストレートの後]",
    "[カーブの後]", "[フォークの後]", "[シュートの後]"};
constexpr const char* type_labels[pitchlog::pitch_type_count] = {"ストレート：", "カーブ：",
                                                                 "フォーク：", "シュート："};

int team_of(half h) {
  return h == half::top ? 1 : 0;
}

std::string percentage(int count, int total) {
  if (total == 0) return "-";
  const double value = std::floor(static_cast<double>(count) / total * 100.0 + 0.5);
  return std::to_string(static_cast<int>(value));
}

int denominator(const pitcher_tally& p, int situation) {
  if (situation == all_pitches) return p.pitches;
  if (situation == first_pitch) return p.first_pitches;
  if (situation == two_strikes) return p.two_strike_pitches;
  int sum = 0;
  for (int n : p.types[situation]) sum += n;
  return sum;
}

std::string report_text(const expected_watch& w) {
  std::string out;
  for (int t : {1, 0}) {
    const team_tally& team = w.teams[t];
    out += team_headers[t];
    out += '\n';
    if (!team.has_pitched) continue;
    const pitcher_tally& p = team.pitchers[team.slot];
    out += pitcher_headers[team.slot];
    out += '\n';
    for (int s = 0; s < tally_situations; ++s) {
      out += situation_headers[s];
      out += '\n';
      const int n = denominator(p, s);
      for (int type = 0; type < pitchlog::pitch_type_count; ++type) {
        if (type > 0) out += "%,";
        out += type_labels[type];
        out += percentage(p.types[s][type], n);
      }
      out += "%\n";
    }
    out += '\n';
  }
  out += "\n\n\n\n";
  return out;
}

// The count panel is read at the first pitch after a report or a reset.
void read_count(expected_watch& w, const truth_pitch& p) {
  if (w.count_read) return;
  w.count_read = true;
  w.first_pitch = p.balls == 0 && p.strikes == 0;
  w.two_strikes = p.strikes == 2;
  if (w.first_pitch) w.previous_type = -1;
}

std::string read_file(const std::string& path, bool& ok) {
  std::ifstream in(path, std::ios::binary);
  ok = static_cast<bool>(in);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t count_of(std::string_view text, std::string_view part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos;
       at = text.find(part, at + part.size()))
    ++n;
  return n;
}

}  // namespace

void expect_reset(expected_watch& w) {
  w = expected_watch{};
}

void expect_dropped_pitch(expected_watch& w, const truth_pitch& p) {
  read_count(w, p);
}

std::string expect_pitch(expected_watch& w, const truth_pitch& p, pitch_type type) {
  read_count(w, p);
  team_tally& team = w.teams[team_of(p.inning_half)];
  team.has_pitched = true;
  if (team.pitcher.empty()) {
    team.pitcher = p.pitcher;
  } else if (team.pitcher != p.pitcher) {
    team.pitcher = p.pitcher;
    if (team.slot < tally_pitchers - 1) ++team.slot;
    w.previous_type = -1;
  }
  pitcher_tally& pt = team.pitchers[team.slot];
  const int t = static_cast<int>(type);
  ++pt.pitches;
  ++pt.types[all_pitches][t];
  if (w.first_pitch) {
    ++pt.first_pitches;
    ++pt.types[first_pitch][t];
  }
  if (w.two_strikes) {
    ++pt.two_strike_pitches;
    ++pt.types[two_strikes][t];
  }
  if (w.previous_type >= 0) ++pt.types[after_first + w.previous_type][t];
  w.previous_type = t;
  w.count_read = false;
  return report_text(w);
}

std::vector<std::string> expected_reports(const std::vector<truth_pitch>& pitches) {
  expected_watch w;
  std::vector<std::string> reports;
  for (const truth_pitch& p : pitches) reports.push_back(expect_pitch(w, p, p.type));
  return reports;
}

std::optional<std::string> to_cp932(std::string_view utf8) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return {};
  std::string in(utf8), out(utf8.size() * 2 + 8, '\0');
  char* src = in.data();
  char* dst = out.data();
  std::size_t src_left = in.size(), dst_left = out.size();
  const std::size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return {};
  out.resize(out.size() - dst_left);
  return out;
}

std::optional<truth_pitch> parse_truth_line(std::string_view line, std::string& error) {
  try {
    const json j = json::parse(line);
    truth_pitch p;
    p.n = j.at("n").get<int>();
    p.time_ms = j.at("time_ms").get<int64_t>();
    const std::string h = j.at("half").get<std::string>();
    if (h != "top" && h != "bottom") throw std::runtime_error("bad half " + h);
    p.inning_half = h == "top" ? half::top : half::bottom;
    p.pitcher_slot = j.at("pitcher_slot").get<int>();
    p.pitcher = j.at("pitcher").get<std::string>();
    const std::string hd = j.at("hand").get<std::string>();
    if (hd != "right" && hd != "left") throw std::runtime_error("bad hand " + hd);
    p.pitcher_hand = hd == "left" ? hand::left : hand::right;
    const std::string type = j.at("type").get<std::string>();
    bool known = false;
    for (int t = 0; t < pitchlog::pitch_type_count; ++t) {
      if (type == type_name(static_cast<pitch_type>(t))) {
        p.type = static_cast<pitch_type>(t);
        known = true;
      }
    }
    if (!known) throw std::runtime_error("bad type " + type);
    p.balls = j.at("balls").get<int>();
    p.strikes = j.at("strikes").get<int>();
    if (p.balls < 0 || p.balls > 3 || p.strikes < 0 || p.strikes > 2)
      throw std::runtime_error("bad count");
    return p;
  } catch (const std::exception& e) {
    error = e.what();
    return {};
  }
}

report_check check_reports(const std::vector<truth_pitch>& pitches, std::string_view cp932_file) {
  report_check c;
  c.thrown = static_cast<int>(pitches.size());
  const std::optional<std::string> header = to_cp932(team_headers[1]);
  c.recorded = header ? static_cast<int>(count_of(cp932_file, *header)) : 0;

  std::string whole;
  for (const std::string& r : expected_reports(pitches)) whole += r;
  const std::optional<std::string> expected = to_cp932(whole);
  c.identical = expected && *expected == cp932_file;

  // Each report in turn: the pitch's own type first, then the others. A pitch
  // no report matches is taken as missed and the report tried on the next one.
  expected_watch w;
  std::size_t at = 0;
  for (const truth_pitch& p : pitches) {
    if (at >= cp932_file.size()) break;
    bool matched = false;
    for (int k = 0; k < pitchlog::pitch_type_count && !matched; ++k) {
      const pitch_type type =
          static_cast<pitch_type>((static_cast<int>(p.type) + k) % pitchlog::pitch_type_count);
      expected_watch trial = w;
      const std::optional<std::string> report = to_cp932(expect_pitch(trial, p, type));
      if (report && cp932_file.substr(at, report->size()) == *report) {
        matched = true;
        w = trial;
        at += report->size();
        if (type == p.type) {
          ++c.as_thrown;
        } else if (c.first_difference.empty()) {
          c.first_difference = "pitch " + std::to_string(p.n) + " (" + type_name(p.type) +
                               ") reported as " + type_name(type);
        }
      }
    }
    if (!matched) {
      expect_dropped_pitch(w, p);
      if (c.first_difference.empty())
        c.first_difference = "pitch " + std::to_string(p.n) + " has no matching report";
    }
  }
  if (at < cp932_file.size() && c.first_difference.empty())
    c.first_difference = "reports left over after the last pitch";
  return c;
}

int run_expect_command(int argc, char** argv) {
  std::string truth_path, out_path, report_path;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string_view flag = argv[i];
    if (flag == "--truth") {
      truth_path = argv[i + 1];
    } else if (flag == "--out") {
      out_path = argv[i + 1];
    } else if (flag == "--report") {
      report_path = argv[i + 1];
    } else {
      std::fprintf(stderr, "practice-game expect: unknown option %s\n", argv[i]);
      return 2;
    }
  }
  if (truth_path.empty() || argc % 2 == 0) {
    std::fputs("usage: practice-game expect --truth FILE [--out FILE] [--report FILE]\n", stderr);
    return 2;
  }
  bool ok = false;
  const std::string truth_text = read_file(truth_path, ok);
  if (!ok) {
    std::fprintf(stderr, "practice-game expect: cannot read %s\n", truth_path.c_str());
    return 2;
  }
  std::vector<truth_pitch> pitches;
  std::istringstream lines(truth_text);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    std::string error;
    const std::optional<truth_pitch> p = parse_truth_line(line, error);
    if (!p) {
      std::fprintf(stderr, "practice-game expect: %s: line %zu: %s\n", truth_path.c_str(),
                   pitches.size() + 1, error.c_str());
      return 2;
    }
    pitches.push_back(*p);
  }
  if (!out_path.empty()) {
    std::string whole;
    for (const std::string& r : expected_reports(pitches)) whole += r;
    const std::optional<std::string> bytes = to_cp932(whole);
    std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
    if (!bytes || !(out << *bytes)) {
      std::fprintf(stderr, "practice-game expect: cannot write %s\n", out_path.c_str());
      return 2;
    }
  }
  if (report_path.empty()) return 0;
  const std::string report = read_file(report_path, ok);
  if (!ok) {
    std::fprintf(stderr, "practice-game expect: cannot read %s\n", report_path.c_str());
    return 2;
  }
  const report_check c = check_reports(pitches, report);
  std::printf("pitches thrown %d, recorded %d, classified as thrown %d, text.txt %s\n", c.thrown,
              c.recorded, c.as_thrown,
              c.identical ? "equals the expected reports" : "differs from the expected reports");
  if (!c.first_difference.empty())
    std::printf("first difference: %s\n", c.first_difference.c_str());
  const bool all = c.identical && c.thrown == c.recorded && c.recorded == c.as_thrown;
  return all ? 0 : 1;
}

}  // namespace practice
