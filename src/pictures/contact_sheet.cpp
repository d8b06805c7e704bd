#include "pictures/contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

#include "pictures/cuts.h"

namespace pitchlog {

namespace {

constexpr int columns = 3;
constexpr int gap = 10;
constexpr int header_height = 22;
constexpr int panel_width = 310;
constexpr int line_height = 16;
constexpr double font_scale = 0.42;
const cv::Scalar background(40, 40, 40);
const cv::Scalar text_colour(235, 235, 235);

cv::Scalar verdict_colour(const scored_check& row) {
  if (is_failure(row.result)) return {60, 60, 235};
  const double margin = std::abs(row.score - checks[row.check].threshold);
  if (margin < close_margin) return {0, 170, 255};
  return row.result == verdict::hit ? cv::Scalar(90, 210, 90) : cv::Scalar(165, 165, 165);
}

std::string score_line(const scored_check& row) {
  char score[16] = "-";
  if (!std::isnan(row.score)) std::snprintf(score, sizeof score, "%.3f", row.score);
  const char* what = "";
  switch (row.result) {
    case verdict::hit:
      what = "hit";
      break;
    case verdict::missed:
      what = "MISSES";
      break;
    case verdict::unintended_hit:
      what = "UNINTENDED HIT";
      break;
    case verdict::miss:
      what = "miss";
      break;
    case verdict::cannot_match:
      what = "CANNOT MATCH";
      break;
    case verdict::locks_elsewhere:
      what = "LOCKS ELSEWHERE";
      break;
    case verdict::not_judged:
      break;
  }
  char threshold[16];
  std::snprintf(threshold, sizeof threshold, "%.2f", checks[row.check].threshold);
  return std::string(check_name(row.check)) + "  " + score + " / " + threshold + "  " + what;
}

void put_text(cv::Mat& sheet, const std::string& text, cv::Point at, const cv::Scalar& colour) {
  cv::putText(sheet, text, at, cv::FONT_HERSHEY_SIMPLEX, font_scale, colour, 1, cv::LINE_AA);
}

// The close-ups of the cuts: each versus-view picture's cut area enlarged,
// on the shot it is cut from, with what changes there hatched.
constexpr int closeup_zoom = 2;
constexpr int closeup_min_width = 150;
constexpr int closeup_text_height = 2 * line_height + 6;
const cv::Scalar cut_shade(40, 40, 255);         // what changes under the cut
const cv::Scalar proposed_colour(255, 220, 60);  // the cut to take instead
const cv::Scalar clear_cut_colour(90, 210, 90);

// Where each close-up goes on a strip `width` wide, row after row; the
// strip's height is the last element's bottom.
std::vector<cv::Rect> closeup_cells(const check_report& report, int width, int& height) {
  std::vector<cv::Rect> cells;
  cv::Point at(gap, header_height);
  int row_height = 0;
  for (const cut_clearance& c : report.clearances) {
    const cv::Size area = cut_area(c.picture, report.game).size() * closeup_zoom;
    const cv::Size cell(std::max(area.width, closeup_min_width),
                        header_height + area.height + closeup_text_height);
    if (at.x > gap && at.x + cell.width > width) at = {gap, at.y + row_height + gap};
    cells.emplace_back(at, cell);
    row_height = std::max(row_height, cell.height);
    at.x += cell.width + gap;
  }
  height = cells.empty() ? 0 : at.y + row_height + gap;
  return cells;
}

// The name of the first check of a picture: the sheet's fonts have no kana.
std::string picture_title(template_id id) {
  for (int check = 0; check < check_count; ++check) {
    if (checks[check].id == id) return check_name(check);
  }
  return {};
}

void draw_closeup(cv::Mat& sheet, const cv::Rect& cell, const cut_clearance& c,
                  const check_report& report, const shot_set& shots) {
  put_text(sheet, picture_title(c.picture), cell.tl() + cv::Point(0, 15), text_colour);
  const cv::Rect area = cut_area(c.picture, report.game);
  const cv::Mat game_picture =
      shots[picture_shot[static_cast<int>(c.picture)]](cv::Rect(*report.origin, report.game));
  // Enlarged, then hatched where it changes, in red under the cut.
  const cv::Size size = area.size() * closeup_zoom;
  cv::Mat large, changes, under = cv::Mat::zeros(area.size(), CV_8U);
  cv::resize(game_picture(area), large, size, 0, 0, cv::INTER_NEAREST);
  cv::resize(c.avoid(area), changes, size, 0, 0, cv::INTER_NEAREST);
  under((c.cut & area) - area.tl()).setTo(255);
  cv::resize(under, under, size, 0, 0, cv::INTER_NEAREST);
  hatch(large, changes & ~under, change_hatch);
  hatch(large, changes & under, cut_shade);
  const cv::Point corner = cell.tl() + cv::Point(0, header_height);
  large.copyTo(sheet(cv::Rect(corner, large.size())));
  const auto on_sheet = [&](const cv::Rect& r) {
    return cv::Rect(corner + (r.tl() - area.tl()) * closeup_zoom, r.size() * closeup_zoom);
  };
  const bool covered = !c.under.empty();
  cv::rectangle(sheet, on_sheet(c.cut), covered ? cut_shade : clear_cut_colour, 1);
  if (c.clear) cv::rectangle(sheet, on_sheet(*c.clear), proposed_colour, 1);

  cv::Point line = corner + cv::Point(0, large.rows + line_height);
  if (!covered) {
    put_text(sheet, "cut clear of changes", line, clear_cut_colour);
    return;
  }
  std::string parts;
  for (const auto& [part, box] : c.under)
    parts += (parts.empty() ? "" : ", ") + std::string(part_short_name(part));
  put_text(sheet, "cut covers " + parts, line, cut_shade);
  if (c.clear)
    put_text(sheet, (c.passes ? "clear cut " : "clear, fails: ") + rectangle_text(*c.clear),
             line + cv::Point(0, line_height), proposed_colour);
}

}  // namespace

void hatch(cv::Mat& picture, const cv::Mat& changes, const cv::Scalar& colour) {
  cv::Mat stripes(picture.size(), CV_8U);
  for (int y = 0; y < stripes.rows; ++y) {
    for (int x = 0; x < stripes.cols; ++x) stripes.at<uint8_t>(y, x) = (x + y) / 3 % 2 ? 0 : 255;
  }
  const cv::Mat dark = picture * 0.4;
  dark.copyTo(picture, changes);
  picture.setTo(colour, changes & stripes);
}

cv::Mat draw_contact_sheet(const check_report& report, const shot_set& shots) {
  const cv::Size game = report.game.empty() ? cv::Size(720, 480) : report.game;
  const cv::Size picture(std::max(1, game.width / 2), std::max(1, game.height / 2));
  const int panel_lines = (picture.height - 4) / line_height;
  const cv::Size tile(picture.width + panel_width, header_height + picture.height);
  const int rows = (label_count + columns - 1) / columns;
  const int width = gap + columns * (tile.width + gap);
  const int tiles_height = gap + rows * (tile.height + gap);
  int strip_height = 0;
  const std::vector<cv::Rect> cells = closeup_cells(report, width, strip_height);
  cv::Mat sheet(tiles_height + strip_height, width, CV_8UC3, background);
  if (!cells.empty()) {
    put_text(sheet,
             "the cuts of the versus-view pictures, each on its own shot: what changes while it "
             "must match is hatched (red under the cut), a cut clear of it in blue",
             cv::Point(gap, tiles_height + 15), text_colour);
    for (size_t i = 0; i < cells.size(); ++i)
      draw_closeup(sheet, cells[i] + cv::Point(0, tiles_height), report.clearances[i], report,
                   shots);
  }

  for (int label = 0; label < label_count; ++label) {
    const cv::Point corner(gap + (label % columns) * (tile.width + gap),
                           gap + (label / columns) * (tile.height + gap));
    put_text(sheet, std::string(shot_labels[label].name) + ".png", corner + cv::Point(2, 15),
             text_colour);
    const cv::Rect picture_box(corner + cv::Point(0, header_height), picture);
    const cv::Mat& shot = shots[label];
    if (shot.empty()) {
      put_text(sheet, "not shot", picture_box.tl() + cv::Point(8, 20), {60, 60, 235});
      continue;
    }
    // The game picture at the origin, or the whole shot when there is none.
    const cv::Rect whole(0, 0, shot.cols, shot.rows);
    cv::Rect crop = report.origin ? cv::Rect(*report.origin, game) & whole : whole;
    if (crop.empty()) crop = whole;
    const double scale = std::min(static_cast<double>(picture.width) / crop.width,
                                  static_cast<double>(picture.height) / crop.height);
    cv::Mat small;
    cv::resize(shot(crop), small, cv::Size(), scale, scale, cv::INTER_AREA);
    small = small(
        cv::Rect(0, 0, std::min(small.cols, picture.width), std::min(small.rows, picture.height)));
    small.copyTo(sheet(cv::Rect(picture_box.tl(), small.size())));
    const auto on_tile = [&](const cv::Rect& r) {
      const cv::Point tl = picture_box.tl() + cv::Point(static_cast<int>((r.x - crop.x) * scale),
                                                        static_cast<int>((r.y - crop.y) * scale));
      return cv::Rect(tl, cv::Size(std::max(1, static_cast<int>(r.width * scale)),
                                   std::max(1, static_cast<int>(r.height * scale))));
    };

    int line = 0;
    for (const scored_check& row : report.rows) {
      if (row.label != label) continue;
      if (row.want == expectation::not_judged && !is_failure(row.result)) continue;
      const cv::Scalar colour = verdict_colour(row);
      const bool locating = row.check == static_cast<int>(check_id::coarse_search) ||
                            row.check == static_cast<int>(check_id::refinement);
      if (!locating && !row.region.empty()) {
        const bool hit = row.result == verdict::hit || row.result == verdict::unintended_hit;
        cv::rectangle(sheet, on_tile(row.region), colour, 1);
        if (hit && !row.best.empty()) cv::rectangle(sheet, on_tile(row.best), colour, 2);
      }
      if (line < panel_lines) {
        put_text(sheet, score_line(row),
                 cv::Point(picture_box.br().x + 8, picture_box.y + 12 + line * line_height),
                 colour);
      }
      ++line;
    }
  }
  return sheet;
}

}  // namespace pitchlog
