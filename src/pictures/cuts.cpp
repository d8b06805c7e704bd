#include "pictures/cuts.h"

#include <cstdio>
#include <fstream>
#include <iterator>

#include <opencv2/core.hpp>

#include "control/templates/checks.h"

namespace pitchlog {

namespace {

// The picture whose area a never-matched picture is cut like: the ball-count
// panel like the count pictures, the take-back poses like the finish poses.
template_id cut_like(template_id id) {
  switch (id) {
    case template_id::ball_count:
      return template_id::count_no_ball_no_strike;
    case template_id::take_back_pose_right:
      return template_id::finish_pose_right;
    case template_id::take_back_pose_left:
      return template_id::finish_pose_left;
    default:
      return id;
  }
}

std::string file_name(template_id id) {
  return std::string(template_file_names[static_cast<int>(id)]);
}

std::optional<template_id> picture_named(const std::string& name) {
  for (int i = 0; i < data_picture_count; ++i) {
    if (template_file_names[i] == name) return static_cast<template_id>(i);
  }
  return std::nullopt;
}

// Four integers of a JSON array as a rectangle with a positive size.
std::optional<cv::Rect> rectangle_node(const cv::FileNode& node) {
  if (!node.isSeq() || node.size() != 4) return std::nullopt;
  int v[4];
  for (int i = 0; i < 4; ++i) {
    if (!node[i].isInt()) return std::nullopt;
    v[i] = static_cast<int>(node[i]);
  }
  if (v[2] <= 0 || v[3] <= 0) return std::nullopt;
  return cv::Rect(v[0], v[1], v[2], v[3]);
}

}  // namespace

bool has_cut(template_id id) {
  return id != template_id::game_area && id != template_id::half_game_area;
}

std::vector<cv::Rect> picture_regions(template_id id, cv::Size game) {
  std::vector<cv::Rect> regions;
  for (const template_check& c : checks) {
    if (c.id != id) continue;
    const cv::Rect region = check_region(c, {0, 0}, game);
    if (!region.empty()) regions.push_back(region);
  }
  return regions;
}

cv::Rect cut_area(template_id id, cv::Size game) {
  cv::Rect area(0, 0, game.width, game.height);
  for (const cv::Rect& region : picture_regions(id, game)) area &= region;
  return area;
}

cv::Rect default_cut(template_id id, cv::Size game) {
  const cv::Rect area = cut_area(cut_like(id), game);
  // A region too small for the margin is cut whole.
  const int mx = area.width > 4 * default_cut_margin ? default_cut_margin : 0;
  const int my = area.height > 4 * default_cut_margin ? default_cut_margin : 0;
  return {area.x + mx, area.y + my, area.width - 2 * mx, area.height - 2 * my};
}

std::string cut_problem(template_id id, const cv::Rect& cut, cv::Size game) {
  const cv::Rect area = cut_area(id, game);
  if ((cut & area) == cut && !cut.empty()) return {};
  const std::string where = area == cv::Rect(0, 0, game.width, game.height)
                                ? "the game picture " + rectangle_text(area)
                                : "its region " + rectangle_text(area);
  const char* what =
      cut.width > area.width || cut.height > area.height ? "is larger than" : "reaches out of";
  return file_name(id) + ": the cut " + rectangle_text(cut) + " " + what + " " + where;
}

bool read_cuts_file(const std::filesystem::path& path, cut_plan& plan, std::string& error) {
  const std::string where = "the cuts file " + path.string();
  // Read by the C++ library, which opens Windows' wide names, and parsed
  // from memory: the parser's own file calls take narrow names only.
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  cv::FileStorage file;
  try {
    if (!in.good() && !in.eof()) {
      error = "cannot read " + where;
      return false;
    }
    if (text.empty() || !file.open(text, cv::FileStorage::READ | cv::FileStorage::MEMORY |
                                             cv::FileStorage::FORMAT_JSON)) {
      error = "cannot read " + where;
      return false;
    }
  } catch (const cv::Exception& e) {
    // OpenCV's parser puts "FILE(LINE): reason" where the function name
    // would be, and its own function's name in err.
    error = where + " is not JSON (" + (e.func.empty() ? e.err : e.func) + ")";
    return false;
  }
  const cv::FileNode game = file["game"];
  if (!game.empty()) {
    plan.game = rectangle_node(game);
    if (!plan.game) {
      error = where + ": \"game\" is not [X, Y, W, H] with a positive W and H";
      return false;
    }
  }
  const cv::FileNode cuts = file["cuts"];
  if (cuts.empty()) return true;
  if (!cuts.isSeq()) {
    error = where + ": \"cuts\" is not a list";
    return false;
  }
  for (const cv::FileNode& entry : cuts) {
    const cv::FileNode name_node = entry["picture"];
    const std::string name = name_node.isString() ? static_cast<std::string>(name_node) : "";
    const std::optional<template_id> id = picture_named(name);
    if (!id || !has_cut(*id)) {
      error = where + ": \"" + name + "\" is no picture with a cut";
      return false;
    }
    const std::optional<cv::Rect> cut = rectangle_node(entry["cut"]);
    if (!cut) {
      error = where + ": the cut of " + name + " is not [x, y, w, h] with a positive w and h";
      return false;
    }
    plan.cuts[static_cast<int>(*id)] = cut;
  }
  return true;
}

std::string cuts_json(const cut_plan& plan) {
  const auto numbers = [](const cv::Rect& r) {
    char text[64];
    std::snprintf(text, sizeof text, "[%d, %d, %d, %d]", r.x, r.y, r.width, r.height);
    return std::string(text);
  };
  std::string json = "{\n";
  if (plan.game) json += "  \"game\": " + numbers(*plan.game) + ",\n";
  json += "  \"cuts\": [\n";
  bool first = true;
  for (int i = 0; i < data_picture_count; ++i) {
    if (!plan.cuts[i]) continue;
    json += std::string(first ? "" : ",\n") + "    {\"picture\": \"" +
            std::string(template_file_names[i]) + "\", \"cut\": " + numbers(*plan.cuts[i]) + "}";
    first = false;
  }
  json += "\n  ]\n}\n";
  return json;
}

std::optional<cv::Rect> parse_rectangle(const std::string& text) {
  int x = 0, y = 0, w = 0, h = 0;
  char extra = 0;
  if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &x, &y, &w, &h, &extra) != 4) return std::nullopt;
  if (w <= 0 || h <= 0) return std::nullopt;
  return cv::Rect(x, y, w, h);
}

std::string rectangle_text(const cv::Rect& r) {
  return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
         std::to_string(r.height);
}

}  // namespace pitchlog
