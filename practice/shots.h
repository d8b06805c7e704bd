#pragma once
// The practice game's screens as the labelled shot folder of
// pitchlog-pictures: each label's view on a desktop, and a cuts file with the
// game's place and the cut rectangles of the practice game's own data/.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "practice/game_view.h"
#include "practice/scenario.h"

namespace practice {

struct labelled_view {
  std::string_view label;
  game_view view;
};

// Every label with the view it shows, in the order pitchlog-pictures asks
// for them; the views the data/ pictures are cut from are those views, but
// for the left-hander's name, which none of the pictures takes in.
std::vector<labelled_view> shot_views();

// The view of one label; none for an unknown label.
std::optional<game_view> shot_view(std::string_view label);

// The desktop of `layout` (its background painted) showing `view` at the
// layout's game position (none: no game on it), top row first.
cv::Mat desktop_picture(const desktop_layout& layout, const std::optional<game_view>& view);

// The desktop the shots are made on: 1280 x 800, checkered, the game picture
// at the odd position (417, 233).
desktop_layout shot_layout();

// The cuts file of the practice game: the game picture at the layout's
// position and data/'s cut rectangles, as JSON.
std::string practice_cuts_json(const desktop_layout& layout);

// Writes every shot as DIR/<label>.png and DIR/cuts.json. False with the
// reason in `error`.
bool write_shots(const std::filesystem::path& dir, const desktop_layout& layout,
                 std::string& error);

}  // namespace practice
