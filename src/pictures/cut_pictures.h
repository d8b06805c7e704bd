#pragma once
// Cutting the pictures of data/ from a folder of labelled shots.
#include <array>
#include <filesystem>
#include <string>

#include <opencv2/core/mat.hpp>

#include "control/templates/template_store.h"
#include "pictures/shot_folder.h"

namespace pitchlog {

using picture_array = std::array<cv::Mat, data_picture_count>;

// The half-size copy of the game picture, made as pitchlog halves the
// desktop: trunc(0.5 x size), bilinear.
cv::Mat half_picture(const cv::Mat& picture);

// Cuts every picture from its shot: the game picture at `game` on the versus
// shot, every other picture at its cut (game-picture pixels) from the game
// picture at the same place on its own shot, and the half-size copy of the
// game picture. False with one line in `error` when a shot is missing, the
// game picture reaches past a shot, or a cut leaves its area.
bool cut_pictures(const shot_set& shots, const cv::Rect& game,
                  const std::array<cv::Rect, data_picture_count>& cuts, picture_array& pictures,
                  std::string& error);

// Writes the pictures as PNG into `dir` through a temporary folder beside it,
// renamed into place once every picture is written; a folder already there is
// replaced whole. False with one line in `error`, and `dir` as before.
bool write_picture_folder(const std::filesystem::path& dir, const picture_array& pictures,
                          std::string& error);

}  // namespace pitchlog
