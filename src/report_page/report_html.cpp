#include "report_page/report_html.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>

#include "record/record_report.h"

namespace pitchlog {
namespace {

// One look per pitch type, the same in every picture and the legend: colours
// that stay apart for people who do not tell red from green (blue, orange,
// bluish green, reddish purple), and a marker shape of each type's own, so
// that no colour alone carries the type.
struct type_look {
  std::string_view fill;
  std::string_view ink;  // text drawn on the fill
  std::string_view shape;
};
constexpr type_look looks[pitch_type_count] = {
    {"#0072B2", "#ffffff", "circle"},
    {"#E69F00", "#000000", "triangle"},
    {"#009E73", "#ffffff", "square"},
    {"#CC79A7", "#000000", "diamond"},
};

constexpr std::string_view hand_words[2] = {"右投手", "左投手"};  // indexed by pitcher_hand
constexpr std::string_view half_words[2] = {"ウラ", "オモテ"};    // indexed by top

constexpr std::string_view css = R"(
body{font:14px/1.45 "Noto Sans CJK JP","Noto Sans JP","Hiragino Sans","Yu Gothic",sans-serif;
 margin:0 auto;max-width:1100px;padding:16px 20px;color:#1a1a1a;background:#f7f7f5}
h1{font-size:20px;margin:0 0 2px}h2{font-size:17px;margin:22px 0 10px;padding-bottom:3px;
 border-bottom:2px solid #bbb}h3{font-size:15px;margin:0;flex-basis:100%}
.meta{color:#555;margin:0 0 8px}.legend span{margin-right:16px;white-space:nowrap}
.legend svg{vertical-align:-2px;margin-right:4px}
.pitcher{background:#fff;border:1px solid #d8d8d8;border-radius:6px;padding:10px 14px;
 margin:0 0 12px;display:flex;flex-wrap:wrap;gap:8px 28px;align-items:flex-start}
.pitcher.current{border:2px solid #555}.sub{color:#555;font-weight:normal;margin-left:10px}
.now{font-size:12px;font-weight:normal;background:#333;color:#fff;border-radius:3px;
 padding:1px 7px;margin-left:10px}figure{margin:0}figcaption{font-size:12px;color:#555}
svg text{font-family:inherit}.none{color:#777}
.paths polyline{fill:none;stroke-width:1.6;stroke-opacity:.8}.paths .start{fill:#fff}
.paths .end{stroke:#fff;stroke-width:.8}.sequence line{stroke:#333}
.sequence .half{font-size:13px}.sequence .pitcher{font-size:10px;fill:#333}
.sequence g text{font-size:11px;text-anchor:middle}.sequence g rect{rx:2px}.sequence .two{fill:#222}
table{border-collapse:collapse;font-size:13px;background:#fff;margin-bottom:20px}
th,td{border:1px solid #ccc;padding:2px 9px}td.n{text-align:right}thead th{background:#eee}
)";

void append_escaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
}

// A length for SVG: to a tenth of a pixel, without trailing zeros.
std::string num(double value) {
  char digits[32];
  const double tenths = std::round(value * 10.0) / 10.0;
  const auto end = std::to_chars(digits, digits + sizeof digits, tenths == 0.0 ? 0.0 : tenths).ptr;
  return std::string(digits, end);
}

std::string fill_class(pitch_type type) {
  return "f" + std::to_string(static_cast<int>(type));
}

// The types' colours as classes: fN fills with type N's colour, sN strokes
// with it, kN colours text on its fill.
std::string type_css() {
  std::string css;
  for (int t = 0; t < pitch_type_count; ++t) {
    const std::string n = std::to_string(t);
    const std::string fill(looks[t].fill);
    css += ".f" + n + "{fill:" + fill + "}.s" + n + "{stroke:" + fill + "}.k" + n +
           "{fill:" + std::string(looks[t].ink) + "}";
  }
  return css + "\n";
}

// The marker of a type, centred on (x, y), `r` its half size; `also` a further class.
std::string marker(pitch_type type, double x, double y, double r, std::string_view also = {}) {
  const type_look& look = looks[static_cast<int>(type)];
  std::string m;
  const std::string fill =
      " class=\"" + fill_class(type) + (also.empty() ? "" : " " + std::string(also)) + "\"";
  if (look.shape == "circle") {
    m = "<circle cx=\"" + num(x) + "\" cy=\"" + num(y) + "\" r=\"" + num(r) + "\"" + fill;
  } else if (look.shape == "square") {
    const double h = r * 0.9;
    m = "<rect x=\"" + num(x - h) + "\" y=\"" + num(y - h) + "\" width=\"" + num(2 * h) +
        "\" height=\"" + num(2 * h) + "\"" + fill;
  } else {
    const bool triangle = look.shape == "triangle";
    const double s = triangle ? r * 1.15 : r * 1.2;
    const std::string points =
        triangle ? num(x) + "," + num(y - s) + " " + num(x + s) + "," + num(y + s * 0.8) + " " +
                       num(x - s) + "," + num(y + s * 0.8)
                 : num(x) + "," + num(y - s) + " " + num(x + s) + "," + num(y) + " " + num(x) +
                       "," + num(y + s) + " " + num(x - s) + "," + num(y);
    m = "<polygon points=\"" + points + "\"" + fill;
  }
  m += "/>";
  return m;
}

std::string_view situation_words(situation s) {
  return header_words(report_situation_headers[static_cast<int>(s)]);
}

std::string type_initial(pitch_type type) {
  const std::string_view name = report_type_names[static_cast<int>(type)];
  return std::string(name.substr(0, 3));  // one character of UTF-8 kana
}

void append_legend(std::string& page) {
  page += "<p class=\"legend\">";
  for (int t = 0; t < pitch_type_count; ++t) {
    page += "<span><svg width=\"14\" height=\"14\" viewBox=\"0 0 14 14\">";
    page += marker(static_cast<pitch_type>(t), 7, 7, 6);
    page += "</svg>";
    page += report_type_names[t];
    page += "</span>";
  }
  page += "</p>\n";
}

// The seven situations of one pitcher: a bar per situation split by type in
// proportion to its counts, its number of pitches before it, and the
// percentages the text report prints for it after it.
void append_situation_bars(std::string& page, const pitcher_record& p) {
  constexpr int row = 24, top = 20, count_x = 132, bar_x = 142, bar_w = 180, pct_x = 336,
                pct_w = 58;
  const int height = top + situation_count * row;
  page += "<svg class=\"bars\" width=\"" + std::to_string(pct_x + 4 * pct_w) + "\" height=\"" +
          std::to_string(height) + "\" role=\"img\">";
  page += "<text x=\"" + std::to_string(count_x) +
          "\" y=\"13\" font-size=\"11\" text-anchor=\"end\" fill=\"#555\">pitches</text>";
  for (int t = 0; t < pitch_type_count; ++t) {
    page += "<text x=\"" + std::to_string(pct_x + t * pct_w + pct_w - 6) +
            "\" y=\"13\" font-size=\"11\" text-anchor=\"end\" fill=\"#333\">";
    page += report_type_names[t];
    page += "</text>";
  }
  for (int s = 0; s < situation_count; ++s) {
    const auto sit = static_cast<situation>(s);
    const int y = top + s * row;
    const double total = situation_total(p, sit);
    page += "<text x=\"0\" y=\"" + std::to_string(y + 16) + "\" font-size=\"13\">";
    page += situation_words(sit);
    page += "</text><text x=\"" + std::to_string(count_x) + "\" y=\"" + std::to_string(y + 16) +
            "\" font-size=\"13\" text-anchor=\"end\">" + num(total) + "</text>";
    if (total > 0.0) {
      double x = bar_x;
      for (int t = 0; t < pitch_type_count; ++t) {
        const double w = p.type_count[s][t] / total * bar_w;
        if (w <= 0.0) continue;
        page += "<rect x=\"" + num(x) + "\" y=\"" + std::to_string(y + 4) + "\" width=\"" + num(w) +
                "\" height=\"16\" class=\"" + fill_class(static_cast<pitch_type>(t)) + "\"/>";
        x += w;
      }
    } else {
      page += "<rect x=\"" + std::to_string(bar_x) + "\" y=\"" + std::to_string(y + 4) +
              "\" width=\"" + std::to_string(bar_w) +
              "\" height=\"16\" fill=\"none\" stroke=\"#bbb\" stroke-dasharray=\"3 3\"/>";
    }
    // The most thrown type of the situation in bold.
    double most = 0.0;
    for (int t = 0; t < pitch_type_count; ++t) most = std::max(most, p.type_count[s][t]);
    for (int t = 0; t < pitch_type_count; ++t) {
      const bool bold = total > 0.0 && p.type_count[s][t] == most;
      page += "<text x=\"" + std::to_string(pct_x + t * pct_w + pct_w - 6) + "\" y=\"" +
              std::to_string(y + 16) + "\" font-size=\"13\" text-anchor=\"end\"" +
              (bold ? " font-weight=\"bold\"" : "") + ">";
      page += report_percentage(p, sit, static_cast<pitch_type>(t));
      page += "%</text>";
    }
  }
  page += "</svg>\n";
}

// Where the paths are drawn: the game picture's pixels when its size is
// known (the ball search region starts 0.37 of its height down), else the
// ball search region's own; the frame around every point of the game, so
// that all panels share one scale.
struct path_frame {
  double offset_y = 0.0;
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  double scale = 1.0;
  bool in_picture = false;
};

bool drawn(const pitch_log_point& p) {
  return p.x != 0.0f;  // x == 0: no ball in that frame
}

path_frame frame_of(const game_view& game, const std::optional<picture_size>& picture) {
  path_frame f;
  if (picture) {
    f.in_picture = true;
    f.offset_y = static_cast<int>(0.37 * picture->height);
  }
  bool any = false;
  for (const logged_pitch& p : game.pitches) {
    for (const pitch_log_point& point : p.row.track) {
      if (!drawn(point)) continue;
      const double x = point.x, y = point.y + f.offset_y;
      f.x0 = any ? std::min(f.x0, x) : x;
      f.x1 = any ? std::max(f.x1, x) : x;
      f.y0 = any ? std::min(f.y0, y) : y;
      f.y1 = any ? std::max(f.y1, y) : y;
      any = true;
    }
  }
  constexpr double margin = 12.0;
  f.x0 = std::floor(f.x0 - margin);
  f.y0 = std::floor(f.y0 - margin);
  f.x1 = std::ceil(f.x1 + margin);
  f.y1 = std::ceil(f.y1 + margin);
  if (picture) {
    f.x0 = std::max(f.x0, 0.0);
    f.y0 = std::max(f.y0, 0.0);
    f.x1 = std::min(f.x1, static_cast<double>(picture->width));
    f.y1 = std::min(f.y1, static_cast<double>(picture->height));
  }
  f.scale = std::min({220.0 / std::max(f.x1 - f.x0, 1.0), 240.0 / std::max(f.y1 - f.y0, 1.0), 4.0});
  return f;
}

// One panel of a pitcher's paths with one hand: every pitch's track points
// joined in frame order, its end marked with its type's marker.
void append_paths(std::string& page, const game_view& game, const game_pitcher& pitcher,
                  pitcher_hand hand, const path_frame& f) {
  std::vector<int> pitches;
  for (const int i : pitcher.pitches)
    if (game.pitches[i].row.hand == hand) pitches.push_back(i);
  if (pitches.empty()) return;
  const double w = (f.x1 - f.x0) * f.scale, h = (f.y1 - f.y0) * f.scale;
  const auto sx = [&](double x) { return (x - f.x0) * f.scale; };
  const auto sy = [&](double y) { return (y - f.y0) * f.scale; };
  page += "<figure><svg class=\"paths\" width=\"" + num(w) + "\" height=\"" + num(h) +
          "\" role=\"img\"><rect width=\"" + num(w) + "\" height=\"" + num(h) +
          "\" fill=\"#f1f1ee\" stroke=\"#999\"/>";
  // A grid line every 20 pixels of the picture.
  page += "<g stroke=\"#dcdcd6\" stroke-width=\"1\">";
  for (double x = std::ceil(f.x0 / 20) * 20; x < f.x1; x += 20)
    page += "<line x1=\"" + num(sx(x)) + "\" y1=\"0\" x2=\"" + num(sx(x)) + "\" y2=\"" + num(h) +
            "\"/>";
  for (double y = std::ceil(f.y0 / 20) * 20; y < f.y1; y += 20)
    page += "<line x1=\"0\" y1=\"" + num(sy(y)) + "\" x2=\"" + num(w) + "\" y2=\"" + num(sy(y)) +
            "\"/>";
  page += "</g>";
  for (const int i : pitches) {
    const pitch_log_row& row = game.pitches[i].row;
    std::string points;
    const pitch_log_point* first = nullptr;
    const pitch_log_point* last = nullptr;
    for (const pitch_log_point& p : row.track) {
      if (!drawn(p)) continue;
      if (!first) first = &p;
      last = &p;
      points += num(sx(p.x)) + "," + num(sy(p.y + f.offset_y)) + " ";
    }
    if (!first) continue;
    const std::string stroke = "s" + std::to_string(static_cast<int>(row.type));
    page += "<g><title>";
    append_escaped(page, row.time);
    page += ' ';
    page += report_type_names[static_cast<int>(row.type)];
    page += "</title><polyline points=\"" + points + "\" class=\"" + stroke + "\"/>";
    page += "<circle cx=\"" + num(sx(first->x)) + "\" cy=\"" + num(sy(first->y + f.offset_y)) +
            "\" r=\"2\" class=\"start " + stroke + "\"/>";
    page += marker(row.type, sx(last->x), sy(last->y + f.offset_y), 4.5, "end");
    page += "</g>";
  }
  page += "</svg><figcaption>";
  page += hand_words[static_cast<int>(hand)];
  page += ", " + std::to_string(pitches.size()) + (pitches.size() == 1 ? " pitch" : " pitches") +
          "; x " + num(f.x0) + "–" + num(f.x1) + ", y " + num(f.y0) + "–" + num(f.y1) +
          (f.in_picture ? " in the game picture" : " in the ball search region") +
          "</figcaption></figure>\n";
}

void append_pitcher(std::string& page, const game_view& game, const game_pitcher& pitcher,
                    const path_frame& frame) {
  const pitcher_record& p =
      game.record.teams[static_cast<int>(pitcher.pitching)].pitchers[pitcher.slot];
  page += pitcher.current ? "<div class=\"pitcher current\">" : "<div class=\"pitcher\">";
  page += "<h3>";
  page += header_words(report_pitcher_headers[pitcher.slot]);
  page += "<span class=\"sub\">";
  bool hands[2] = {false, false};
  for (const int i : pitcher.pitches) hands[static_cast<int>(game.pitches[i].row.hand)] = true;
  for (int h = 0; h < 2; ++h)
    if (hands[h]) (page += hand_words[h]) += ' ';
  page += std::to_string(p.pitch_count) + (p.pitch_count == 1 ? " pitch" : " pitches");
  page += "</span>";
  if (pitcher.current) page += "<span class=\"now\">now pitching</span>";
  page += "</h3>\n";
  append_situation_bars(page, p);
  for (const pitcher_hand hand : {pitcher_hand::right, pitcher_hand::left})
    append_paths(page, game, pitcher, hand, frame);
  page += "</div>\n";
}

// The game's pitches in order, one row per half inning (wrapped when long):
// a cell per pitch in its type's colour with the type's first character, a
// gap before each first pitch to a batter, a line under each pitch after two
// strikes, and a line with the pitcher's header where a pitcher starts (on a
// higher line where it would run into the header before it).
void append_sequence(std::string& page, const game_view& game) {
  constexpr int label_w = 112, cell = 18, step = 21, batter_gap = 7, right = 1060, line_h = 52,
                pitcher_label_w = 64;
  const auto at = [](int x, int y) {
    return "x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\"";
  };
  std::string body;
  int y = 0;
  for (const half_inning& half : game.halves) {
    body += "<text " + at(0, y + 40) + " class=\"half\">" + std::to_string(half.inning) + "回";
    body += half_words[half.top ? 1 : 0];
    body += "</text>";
    int x = label_w, label_end = 0;
    bool label_high = false;
    int32_t pitcher = -1;
    for (const int i : half.pitches) {
      const pitch_log_row& row = game.pitches[i].row;
      const bool new_pitcher = row.pitcher_slot != pitcher;
      if (row.first_pitch_flag && x > label_w) x += batter_gap;
      if (new_pitcher && x > label_w) x += 4;
      if (x + cell > right) {
        x = label_w;
        label_end = 0;
        y += line_h;
      }
      if (new_pitcher) {
        label_high = x < label_end && !label_high;
        const int base = y + (label_high ? 11 : 22);
        // A higher header's line starts below the header it passes.
        const int line_top = label_high ? y + 24 : base - 9;
        body += "<line x1=\"" + std::to_string(x - 3) + "\" y1=\"" + std::to_string(line_top) +
                "\" x2=\"" + std::to_string(x - 3) + "\" y2=\"" + std::to_string(y + 48) +
                "\"/><text " + at(x, base) + " class=\"pitcher\">";
        body += header_words(report_pitcher_headers[row.pitcher_slot]);
        body += "</text>";
        label_end = x + pitcher_label_w;
        pitcher = row.pitcher_slot;
      }
      const int type = static_cast<int>(row.type);
      body += "<g><title>";
      append_escaped(body, row.time);
      body += ' ';
      body += report_type_names[type];
      if (row.first_pitch_flag) (body += ' ') += situation_words(situation::first_pitch);
      if (row.two_strike_flag) (body += ' ') += situation_words(situation::two_strikes);
      body += "</title><rect " + at(x, y + 27) + " width=\"18\" height=\"18\" class=\"f" +
              std::to_string(type) + "\"/><text " + at(x + cell / 2, y + 40) + " class=\"k" +
              std::to_string(type) + "\">" + type_initial(row.type) + "</text>";
      if (row.two_strike_flag)
        body += "<rect " + at(x, y + 47) + " width=\"18\" height=\"2\" class=\"two\"/>";
      body += "</g>";
      x += step;
    }
    y += line_h;
  }
  page += "<svg class=\"sequence\" width=\"" + std::to_string(right) + "\" height=\"" +
          std::to_string(y + 4) + "\" role=\"img\">" + body + "</svg>\n";
}

// The numbers of every pitcher, situation by situation, as the text report
// prints them; the rows of each team's current pitcher say so.
void append_table(std::string& page, const game_view& game) {
  page +=
      "<table class=\"numbers\"><thead><tr><th>team</th><th>pitcher</th><th>situation</th>"
      "<th>pitches</th>";
  for (const std::string_view name : report_type_names) {
    page += "<th>";
    page += name;
    page += "</th>";
  }
  page += "</tr></thead><tbody>\n";
  for (const game_pitcher& pitcher : game.pitchers) {
    const int t = static_cast<int>(pitcher.pitching);
    const pitcher_record& p = game.record.teams[t].pitchers[pitcher.slot];
    for (int s = 0; s < situation_count; ++s) {
      page += "<tr data-team=\"" + std::to_string(t) + "\" data-pitcher=\"" +
              std::to_string(pitcher.slot + 1) + "\" data-current=\"" +
              (pitcher.current ? "1" : "0") + "\">";
      if (s == 0) {
        page += "<th rowspan=\"7\">";
        page += header_words(report_team_headers[t]);
        page += "</th><th rowspan=\"7\">";
        page += header_words(report_pitcher_headers[pitcher.slot]);
        page += "</th>";
      }
      page += "<td>";
      page += header_words(report_situation_headers[s]);
      page +=
          "</td><td class=\"n\">" + num(situation_total(p, static_cast<situation>(s))) + "</td>";
      for (int ty = 0; ty < pitch_type_count; ++ty)
        page += "<td class=\"n\">" +
                report_percentage(p, static_cast<situation>(s), static_cast<pitch_type>(ty)) +
                "%</td>";
      page += "</tr>\n";
    }
  }
  page += "</tbody></table>\n";
}

}  // namespace

std::string_view header_words(std::string_view header) {
  if (header.starts_with('[') && header.ends_with(']')) return header.substr(1, header.size() - 2);
  return header;
}

std::string report_page(const game_view& game, const page_options& options) {
  std::string page = "<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\">\n";
  if (options.refresh_seconds > 0)
    page += "<meta http-equiv=\"refresh\" content=\"" + std::to_string(options.refresh_seconds) +
            "\">\n";
  page += "<title>pitchlog-report: game " + std::to_string(game.number) + "</title>\n<style>";
  page += css;
  page += type_css();
  page += "</style></head><body>\n<h1>Pitch habits, game " + std::to_string(game.number) + " of " +
          std::to_string(game.games) + "</h1>\n<p class=\"meta\">";
  append_escaped(page, options.source);
  page += ": " + std::to_string(game.pitches.size()) +
          (game.pitches.size() == 1 ? " pitch" : " pitches");
  if (!game.pitches.empty()) {
    page += ", ";
    append_escaped(page, game.pitches.front().row.time);
    page += " to ";
    append_escaped(page, game.pitches.back().row.time);
  }
  if (!options.left_out_lines.empty()) {
    constexpr std::size_t named = 10;  // the rest are counted
    const std::vector<int>& lines = options.left_out_lines;
    page += "; lines left out as unreadable:";
    for (std::size_t i = 0; i < lines.size() && i < named; ++i)
      page += ' ' + std::to_string(lines[i]);
    if (lines.size() > named) page += " and " + std::to_string(lines.size() - named) + " more";
  }
  if (options.refresh_seconds > 0)
    page += "; rewritten at every new pitch, reloaded every " +
            std::to_string(options.refresh_seconds) + " s";
  page += "</p>\n";
  append_legend(page);

  const path_frame frame = frame_of(game, options.picture);
  for (const team t : report_team_order) {
    page += "<h2>";
    page += header_words(report_team_headers[static_cast<int>(t)]);
    page += "</h2>\n";
    bool any = false;
    for (const game_pitcher& pitcher : game.pitchers) {
      if (pitcher.pitching != t) continue;
      append_pitcher(page, game, pitcher, frame);
      any = true;
    }
    if (!any) page += "<p class=\"none\">No pitches in this game.</p>\n";
  }
  page +=
      "<h2>Pitch sequence</h2>\n<p class=\"meta\">One row per half inning, counted from the "
      "game's first logged pitch; a gap before each batter's first pitch (";
  page += situation_words(situation::first_pitch);
  page += "), a line under each pitch after two strikes (";
  page += situation_words(situation::two_strikes);
  page += ").</p>\n";
  append_sequence(page, game);
  page += "<h2>The numbers</h2>\n";
  append_table(page, game);
  page += "</body></html>\n";
  return page;
}

}  // namespace pitchlog
