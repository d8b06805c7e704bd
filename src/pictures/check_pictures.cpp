#include "pictures/check_pictures.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <ostream>

#include <opencv2/imgproc.hpp>

#include "pictures/cuts.h"
#include "screen/game_area_locator.h"

namespace pitchlog {

namespace fs = std::filesystem;

namespace {

constexpr double no_score = std::numeric_limits<double>::quiet_NaN();

// clang-format off
constexpr std::array<const char*, check_count> check_names = {
    "versus ground", "field ground", "time-out", "scoreboard", "opponent wait", "title",
    "game set", "warning", "count 0-0", "two strikes", "trigger right", "trigger left",
    "end wait right", "end wait left", "play ball", "coarse search", "refinement", "top sign",
    "bottom sign", "right sign", "left sign", "pitcher name"};
// clang-format on

constexpr int coarse_check = static_cast<int>(check_id::coarse_search);
constexpr int refinement_check = static_cast<int>(check_id::refinement);

// The locator's two searches on one shot, as pitchlog makes them on a capture.
struct lock_search {
  double coarse_score = no_score;
  cv::Point coarse_hit;
  double fine_score = no_score;
  cv::Rect window;
  std::optional<cv::Point> origin;
};

lock_search search_lock(const cv::Mat& shot, const cv::Mat& half_template,
                        const cv::Mat& game_template) {
  lock_search s;
  const cv::Size half = half_size(shot.size());
  if (half.empty()) return s;
  cv::Mat half_shot(half, CV_8UC3);
  cv::resize(shot, half_shot, half, 0, 0, cv::INTER_LINEAR);
  const match_result coarse =
      match_template(half_shot, cv::Rect(0, 0, half.width, half.height), half_template);
  s.coarse_score = coarse.best_score;
  s.coarse_hit = coarse.best_location;
  if (!is_hit(coarse.best_score, check_of(check_id::coarse_search).threshold)) return s;
  s.window = refinement_window(coarse.best_location, shot.size(), game_template.size());
  if (s.window.width < game_template.cols || s.window.height < game_template.rows) return s;
  const match_result fine = match_template(shot, s.window, game_template);
  s.fine_score = fine.best_score;
  if (is_hit(fine.best_score, check_of(check_id::refinement).threshold))
    s.origin = locked_origin(coarse.best_location, fine.best_location);
  return s;
}

// Why a check has no score on a shot: the matcher's reasons for a NaN.
std::string no_score_reason(const picture_set& pictures, template_id id, const cv::Rect& region,
                            const cv::Mat& shot) {
  const int i = static_cast<int>(id);
  const cv::Mat& picture = pictures.pictures[i];
  if (picture.empty()) return pictures.unreadable[i];
  if ((region & cv::Rect(0, 0, shot.cols, shot.rows)) != region)
    return "the region " + std::to_string(region.x) + "," + std::to_string(region.y) + "," +
           std::to_string(region.width) + "," + std::to_string(region.height) +
           " reaches past the shot";
  if (picture.cols > region.width || picture.rows > region.height)
    return std::to_string(picture.cols) + " x " + std::to_string(picture.rows) +
           " is larger than the region " + std::to_string(region.width) + " x " +
           std::to_string(region.height);
  return "a picture of one colour has no pattern to match";
}

verdict judge(expectation want, double score, double threshold) {
  if (want == expectation::not_judged) return verdict::not_judged;
  if (std::isnan(score)) return verdict::cannot_match;
  const bool hit = is_hit(score, threshold);
  if (want == expectation::hit) return hit ? verdict::hit : verdict::missed;
  return hit ? verdict::unintended_hit : verdict::miss;
}

std::string point_text(cv::Point p) {
  return std::to_string(p.x) + "," + std::to_string(p.y);
}

scored_check row_of(int check, int label, double score) {
  scored_check row;
  row.check = check;
  row.label = label;
  row.want = expected(check, shot_labels[label]);
  row.score = score;
  return row;
}

// The two locating rows of one shot.
void add_lock_rows(const lock_search& s, int label, const check_report& report, const cv::Mat& shot,
                   std::vector<scored_check>& rows) {
  scored_check coarse = row_of(coarse_check, label, s.coarse_score);
  coarse.region = cv::Rect(0, 0, shot.cols, shot.rows);
  if (!std::isnan(s.coarse_score)) coarse.best = cv::Rect(s.coarse_hit * 2, report.game);
  coarse.result = judge(coarse.want, coarse.score, check_of(check_id::coarse_search).threshold);

  scored_check fine = row_of(refinement_check, label, s.fine_score);
  fine.region = s.window;
  if (s.origin) fine.best = cv::Rect(*s.origin, report.game);
  if (!is_hit(s.coarse_score, check_of(check_id::coarse_search).threshold) ||
      std::isnan(s.fine_score)) {
    // Not reached: the coarse search decides the shot.
    fine.want = expectation::not_judged;
    fine.note = "not reached";
  }
  fine.result = judge(fine.want, fine.score, check_of(check_id::refinement).threshold);
  if (s.origin && report.origin && *s.origin != *report.origin) {
    fine.result = verdict::locks_elsewhere;
    fine.note =
        "locks at " + point_text(*s.origin) + ", the game is at " + point_text(*report.origin);
  }
  if (std::isnan(s.coarse_score) && coarse.want != expectation::not_judged)
    coarse.note = "no score: the shot or the locating pictures cannot be matched";
  rows.push_back(coarse);
  rows.push_back(fine);
}

// Where each versus-view picture lies on the shot it is cut from (its best
// match inside the area it may be cut from), and what changes under it.
void add_clearances(const picture_set& pictures, const shot_set& shots, check_report& report) {
  report.changes = find_changing_parts(shots, *report.origin, report.game);
  for (template_id id : versus_pictures) {
    const cv::Mat& picture = pictures.pictures[static_cast<int>(id)];
    const cv::Mat& shot = shots[picture_shot[static_cast<int>(id)]];
    if (picture.empty() || shot.empty()) continue;
    const cv::Rect area = cut_area(id, report.game);
    const match_result m = match_template(shot, area + *report.origin, picture);
    // A picture that cannot be matched is reported as such by its checks.
    if (std::isnan(m.best_score)) continue;
    const cv::Rect cut(area.tl() + m.best_location, picture.size());
    report.clearances.push_back(
        clear_of_changes(id, cut, report.changes, shots, *report.origin, report.game));
  }
}

}  // namespace

scored_check score_check(int check, int label, const cv::Mat& picture, const cv::Mat& shot,
                         cv::Point origin, cv::Size game) {
  const template_check& c = checks[check];
  scored_check row = row_of(check, label, no_score);
  row.region = check_region(c, origin, game);
  // The same call as check_score, keeping where the best score lies.
  const match_result m = match_template(shot, row.region, picture);
  row.score = m.best_score;
  if (!std::isnan(row.score))
    row.best = cv::Rect(row.region.tl() + m.best_location, picture.size());
  row.result = judge(row.want, row.score, c.threshold);
  return row;
}

const char* check_name(int check) {
  return check_names[check];
}

picture_set read_picture_folder(const fs::path& dir) {
  picture_set set;
  for (int i = 0; i < data_picture_count; ++i) {
    std::string why;
    set.pictures[i] = read_png(dir / utf8_path(template_file_names[i]), why);
    if (set.pictures[i].empty()) set.unreadable[i] = why;
  }
  return set;
}

expectation expected(int check, const shot_label& l) {
  using e = expectation;
  const bool versus = is_versus(l);
  const auto hit_if = [](bool b) { return b ? e::hit : e::miss; };
  // A pose check on the versus view: it must miss while the pitcher stands or
  // draws back, and hit his own finish; on the other hand's finish either
  // outcome does (the trigger takes either hand, the end wait follows the hand
  // that pitched).
  const auto pose = [&](side_shown hand) {
    if (!versus) return e::not_judged;
    if (l.pose != pose_shown::finish) return e::miss;
    return l.pitcher == hand ? e::hit : e::not_judged;
  };
  const auto known = [&](side_shown shown, side_shown want) {
    return shown == side_shown::unknown ? e::not_judged : hit_if(shown == want);
  };
  if (check < scene_check_count) {
    // The scene checks run in table order until one hits: a check must hit
    // its own screen and miss every screen recognised after it; screens
    // recognised before it never reach it.
    if (l.scene < 0 || l.scene < check) return e::not_judged;
    return hit_if(l.scene == check);
  }
  switch (static_cast<check_id>(check)) {
    case check_id::count_no_ball_no_strike:
    case check_id::count_two_strikes:
      if (!versus || l.count == count_shown::unknown) return e::not_judged;
      return hit_if(l.count == (check == static_cast<int>(check_id::count_two_strikes)
                                    ? count_shown::two_strikes
                                    : count_shown::no_ball_no_strike));
    case check_id::finish_pose_right:
    case check_id::pitch_end_right:
      return pose(side_shown::right);
    case check_id::finish_pose_left:
    case check_id::pitch_end_left:
      return pose(side_shown::left);
    case check_id::play_ball:
      // pitchlog waits while it hits: on any other screen it would stall.
      return hit_if(l.scene < 0);
    case check_id::coarse_search:
    case check_id::refinement:
      // The game must be found on the versus view; elsewhere a miss is fine,
      // a lock onto another place is not (judged apart).
      return versus ? e::hit : e::not_judged;
    case check_id::inning_top:
      return known(l.inning, side_shown::right);
    case check_id::inning_bottom:
      return known(l.inning, side_shown::left);
    case check_id::hand_right:
      return known(l.hand_sign, side_shown::right);
    case check_id::hand_left:
      return known(l.hand_sign, side_shown::left);
    default:
      // The pitcher's name is compared with pitchlog's own crops.
      return e::not_judged;
  }
}

check_report check_pictures(const picture_set& pictures, const shot_set& shots) {
  check_report report;
  report.game = pictures.pictures[static_cast<int>(template_id::game_area)].size();
  report.unreadable = pictures.unreadable;
  const cv::Mat& half_template = pictures.pictures[static_cast<int>(template_id::half_game_area)];
  const cv::Mat& game_template = pictures.pictures[static_cast<int>(template_id::game_area)];

  std::array<lock_search, label_count> locks;
  for (int label = 0; label < label_count; ++label) {
    if (!shots[label].empty())
      locks[label] = search_lock(shots[label], half_template, game_template);
  }
  report.origin = locks[*label_index("versus")].origin;

  // The locator first, as pitchlog runs it, then the table in its order.
  std::vector<int> order{coarse_check};
  for (int check = 0; check < check_count; ++check) {
    if (check != coarse_check && check != refinement_check) order.push_back(check);
  }
  for (int check : order) {
    for (int label = 0; label < label_count; ++label) {
      const cv::Mat& shot = shots[label];
      if (shot.empty()) continue;
      if (check == coarse_check) {
        add_lock_rows(locks[label], label, report, shot, report.rows);
        continue;
      }
      const template_check& c = checks[check];
      // The pitcher's name crop is pitchlog's own, not a picture of data/.
      if (!report.origin || static_cast<int>(c.id) >= data_picture_count) continue;
      scored_check row = score_check(check, label, pictures.pictures[static_cast<int>(c.id)], shot,
                                     *report.origin, report.game);
      if (std::isnan(row.score)) row.note = no_score_reason(pictures, c.id, row.region, shot);
      report.rows.push_back(row);
    }
  }
  if (report.origin) add_clearances(pictures, shots, report);
  return report;
}

namespace {

// Terminal columns of UTF-8 text: the Japanese file names are two columns a
// character.
int columns(const std::string& text) {
  int n = 0;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<uint8_t>(text[i]);
    const int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
    n += length >= 3 ? 2 : 1;
    i += length;
  }
  return n;
}

std::string padded(const std::string& text, int width) {
  return text + std::string(std::max(0, width - columns(text)), ' ');
}

std::string picture_of(int check) {
  return std::string(template_file_names[static_cast<int>(checks[check].id)]);
}

std::string number(const char* format, double value) {
  if (std::isnan(value)) return "-";
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool is_close(const scored_check& row) {
  return row.want != expectation::not_judged && !std::isnan(row.score) &&
         std::abs(row.score - checks[row.check].threshold) < close_margin;
}

std::string verdict_text(const scored_check& row) {
  const std::string close = is_close(row) ? ", close" : "";
  switch (row.result) {
    case verdict::hit:
      return "hit" + close;
    case verdict::missed:
      return "MISSES" + std::string(row.note.empty() ? "" : " (" + row.note + ")");
    case verdict::unintended_hit:
      return "UNINTENDED HIT";
    case verdict::miss:
      return "miss" + close;
    case verdict::cannot_match:
      return "CANNOT BE MATCHED: " + row.note;
    case verdict::locks_elsewhere:
      return "LOCKS ELSEWHERE: " + row.note;
    case verdict::not_judged:
      break;
  }
  return "";
}

bool worth_a_line(const scored_check& row) {
  return row.want == expectation::hit || is_failure(row.result) || is_close(row);
}

}  // namespace

bool print_check_table(const check_report& report, std::ostream& out) {
  int picture_width = columns("picture"), label_width = columns("shot");
  for (const scored_check& row : report.rows) {
    if (!worth_a_line(row)) continue;
    picture_width = std::max(picture_width, columns(picture_of(row.check)));
    label_width = std::max(label_width, columns(std::string(shot_labels[row.label].name)));
  }
  out << padded("picture", picture_width) << "  " << padded("check", 14) << "  "
      << padded("shot", label_width) << "   score  thresh  margin  verdict\n";
  int hits = 0, missed = 0, unintended = 0, unmatched = 0, elsewhere = 0, close = 0;
  for (const scored_check& row : report.rows) {
    if (!worth_a_line(row)) continue;
    const double threshold = checks[row.check].threshold;
    out << padded(picture_of(row.check), picture_width) << "  " << padded(check_name(row.check), 14)
        << "  " << padded(std::string(shot_labels[row.label].name), label_width) << "  "
        << padded(number("%6.4f", row.score), 6) << "  " << number("%6.2f", threshold) << "  "
        << padded(number("%+.4f", row.score - threshold), 7) << " " << verdict_text(row) << "\n";
    hits += row.result == verdict::hit;
    missed += row.result == verdict::missed;
    unintended += row.result == verdict::unintended_hit;
    unmatched += row.result == verdict::cannot_match;
    elsewhere += row.result == verdict::locks_elsewhere;
    close += is_close(row);
  }
  int covered = 0;
  for (const cut_clearance& c : report.clearances) {
    if (c.under.empty()) continue;
    out << "CUT OVER CHANGES: " << template_file_names[static_cast<int>(c.picture)] << ": "
        << clearance_text(c, report.changes)
        << (c.passes ? " (c takes it in cut --pick; or write it in the cuts file)" : "") << "\n";
    ++covered;
  }
  int unreadable = 0;
  for (const std::string& why : report.unreadable) {
    if (why.empty()) continue;
    out << "CANNOT BE READ: " << why << "\n";
    ++unreadable;
  }
  if (!report.origin)
    out << "the game picture is not found on the versus shot, so no other check can be placed\n";
  const bool pass =
      report.origin && missed + unintended + unmatched + elsewhere + unreadable + covered == 0;
  out << (pass ? "pass: " : "FAIL: ") << hits << " intended hits, " << missed << " missed, "
      << unintended << " unintended hits, " << unmatched << " cannot be matched, " << elsewhere
      << " locks elsewhere, " << unreadable << " cannot be read, " << covered
      << " cuts over changes; " << close << " margins under " << close_margin << "\n";
  return pass;
}

}  // namespace pitchlog
