#include "pictures/contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>

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

}  // namespace

cv::Mat draw_contact_sheet(const check_report& report, const shot_set& shots) {
  const cv::Size game = report.game.empty() ? cv::Size(720, 480) : report.game;
  const cv::Size picture(std::max(1, game.width / 2), std::max(1, game.height / 2));
  const int panel_lines = (picture.height - 4) / line_height;
  const cv::Size tile(picture.width + panel_width, header_height + picture.height);
  const int rows = (label_count + columns - 1) / columns;
  cv::Mat sheet(gap + rows * (tile.height + gap), gap + columns * (tile.width + gap), CV_8UC3,
                background);

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
