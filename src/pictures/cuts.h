#pragma once
// Where each picture of data/ is cut from its shot: the game picture on the
// versus shot, and a rectangle of the game picture for every other picture.
// Kept in an editable JSON file:
//   {"game": [X, Y, W, H],
//    "cuts": [{"picture": "タイム画面・一部.png", "cut": [x, y, w, h]}, ...]}
// The game is in desktop pixels of the versus shot; a cut in pixels of the
// game picture. 低め.png is the whole game picture and resize-低め.png its
// half-size copy, so neither has a cut.
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <opencv2/core/types.hpp>

#include "control/templates/template_store.h"

namespace pitchlog {

// Pixels left free on every side of a default cut, so that the match has
// room to move when the game draws a pixel or two off.
inline constexpr int default_cut_margin = 3;

struct cut_plan {
  std::optional<cv::Rect> game;
  std::array<std::optional<cv::Rect>, data_picture_count> cuts;  // by template_id
};

// Whether a picture is cut with a rectangle of its own (all but the game
// picture and its half-size copy).
bool has_cut(template_id id);

// The regions of the game picture W x H, measured from its corner, in which
// pitchlog matches `id`; none for a picture it never matches.
std::vector<cv::Rect> picture_regions(template_id id, cv::Size game);

// The part of the game picture a cut of `id` must lie in: the overlap of its
// regions, so that every match of it can find it; the whole game picture for
// a picture never matched.
cv::Rect cut_area(template_id id, cv::Size game);

// The default cut: the area of the picture less the margin on every side (for
// a picture never matched, that of the picture it goes with).
cv::Rect default_cut(template_id id, cv::Size game);

// Empty when `cut` lies inside the cut area of `id`; else one line naming the
// picture, the cut and the area.
std::string cut_problem(template_id id, const cv::Rect& cut, cv::Size game);

// Reads a cuts file; false with one line in `error` when it cannot be read,
// is no such JSON, or names a picture that has no cut. Pictures it leaves out
// keep no cut (the caller fills in defaults).
bool read_cuts_file(const std::filesystem::path& path, cut_plan& plan, std::string& error);

// The plan as the JSON of a cuts file, every picture with a cut listed.
std::string cuts_json(const cut_plan& plan);

// "X,Y,W,H" as a rectangle with positive width and height.
std::optional<cv::Rect> parse_rectangle(const std::string& text);

// "X,Y,W,H".
std::string rectangle_text(const cv::Rect& r);

}  // namespace pitchlog
