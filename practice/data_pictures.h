#pragma once
// pitchlog's reference pictures (data/), cut by code from the practice game's
// own renders at the regions where pitchlog matches them.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include <opencv2/core/mat.hpp>

#include "practice/game_view.h"

namespace practice {

// One reference picture: the view it is cut from and where. Views not named
// here are the versus view at 0-0, no outs, top of the 1st, right-hander
// "TANAKA" in the set pose, no ball, no noise.
struct data_picture {
  std::string_view file_name;  // UTF-8
  game_screen screen;
  int strikes;
  pose pitcher_pose;
  hand pitcher_hand;
  half inning_half;
  cv::Rect cut;    // game-picture pixels, inside the region pitchlog matches it in
  bool half_size;  // resized by 0.5 (INTER_LINEAR) after cutting
};

// The eighteen start-up pictures in load order, then the four on-demand signs.
extern const std::array<data_picture, 22> data_picture_table;

// The view a picture is cut from.
game_view data_picture_view(const data_picture& picture);

// Renders the view and cuts (and resizes) the picture.
cv::Mat make_data_picture(const data_picture& picture);

// Writes every picture into `dir` (created if missing) as PNG. False, with the
// reason in `error`, when a file cannot be written.
bool write_data_pictures(const std::filesystem::path& dir, std::string& error);

}  // namespace practice
