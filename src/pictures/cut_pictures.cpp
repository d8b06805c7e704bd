#include "pictures/cut_pictures.h"

#include <system_error>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "pictures/cuts.h"
#include "screen/game_area_locator.h"

namespace pitchlog {

namespace fs = std::filesystem;

cv::Mat half_picture(const cv::Mat& picture) {
  const cv::Size size = half_size(picture.size());
  cv::Mat half(size, CV_8UC3);
  cv::resize(picture, half, size, 0, 0, cv::INTER_LINEAR);
  return half;
}

bool cut_pictures(const shot_set& shots, const cv::Rect& game,
                  const std::array<cv::Rect, data_picture_count>& cuts, picture_array& pictures,
                  std::string& error) {
  for (int label : picture_shot) {
    const cv::Mat& shot = shots[label];
    if (shot.empty()) {
      error = "no " + std::string(shot_labels[label].name) + " shot";
      return false;
    }
    if ((game & cv::Rect(0, 0, shot.cols, shot.rows)) != game) {
      error = "the game picture " + rectangle_text(game) + " reaches past the " +
              std::string(shot_labels[label].name) + " shot (" + std::to_string(shot.cols) + " x " +
              std::to_string(shot.rows) + ")";
      return false;
    }
  }
  for (int i = 0; i < data_picture_count; ++i) {
    const auto id = static_cast<template_id>(i);
    if (!has_cut(id)) continue;
    if (std::string problem = cut_problem(id, cuts[i], game.size()); !problem.empty()) {
      error = problem;
      return false;
    }
  }
  for (int i = 0; i < data_picture_count; ++i) {
    const auto id = static_cast<template_id>(i);
    const cv::Mat whole = shots[picture_shot[i]](game);
    if (id == template_id::half_game_area) {
      pictures[i] = half_picture(whole);
    } else {
      pictures[i] = (has_cut(id) ? whole(cuts[i]) : whole).clone();
    }
  }
  return true;
}

bool write_picture_folder(const fs::path& dir, const picture_array& pictures, std::string& error) {
  std::error_code ec;
  if (fs::exists(dir, ec) && !fs::is_directory(dir, ec)) {
    error = dir.string() + " is not a folder";
    return false;
  }
  const fs::path staging = temporary_beside(dir, "writing");
  fs::remove_all(staging, ec);
  if (!fs::create_directories(staging, ec)) {
    error = "cannot create " + staging.string() + (ec ? ": " + ec.message() : "");
    return false;
  }
  const auto give_up = [&](const std::string& why) {
    fs::remove_all(staging, ec);
    error = why;
    return false;
  };
  for (int i = 0; i < data_picture_count; ++i) {
    const fs::path path = staging / utf8_path(template_file_names[i]);
    if (!write_png_file(path, pictures[i])) return give_up("cannot write " + path.string());
  }
  // The old folder steps aside first and comes back if the new one cannot
  // take its place.
  const fs::path old = temporary_beside(dir, "old");
  const bool had_old = fs::exists(dir, ec);
  if (had_old) {
    fs::remove_all(old, ec);
    fs::rename(dir, old, ec);
    if (ec) return give_up("cannot replace " + dir.string() + ": " + ec.message());
  }
  fs::rename(staging, dir, ec);
  if (ec) {
    const std::string why =
        "cannot rename " + staging.string() + " to " + dir.string() + ": " + ec.message();
    if (had_old) fs::rename(old, dir, ec);
    return give_up(why);
  }
  if (had_old) fs::remove_all(old, ec);
  return true;
}

}  // namespace pitchlog
