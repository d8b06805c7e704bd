#pragma once
// The labelled shots of a game: one desktop screenshot per screen pitchlog
// must know, saved as "<label>.png" in a shot folder. The folder is all that
// passes between shooting, cutting and checking, so a user may also fill it
// with screenshots made elsewhere.
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "control/templates/checks.h"

namespace pitchlog {

enum class count_shown { unknown, no_ball_no_strike, two_strikes, neither };
enum class pose_shown { set, take_back, finish };
enum class side_shown { unknown, right, left };

// What one shot shows, as far as the checks care.
struct shot_label {
  std::string_view name;    // the file is "<name>.png"
  std::string_view prompt;  // what the user brings the game to, one line
  // The scene check that must recognise the shot (an index into
  // scene_checks); -1 for the play-ball screen, which pitchlog waits through
  // before it looks at scenes.
  int scene;
  // The versus view only: the count panel, the pitcher's pose and hand, the
  // inning sign and the hand sign shown.
  count_shown count = count_shown::unknown;
  pose_shown pose = pose_shown::set;
  side_shown pitcher = side_shown::unknown;
  side_shown inning = side_shown::unknown;  // right: top half, left: bottom half
  side_shown hand_sign = side_shown::unknown;
};

inline constexpr int label_count = 19;

// Every shot, in the order `shoot` asks for them.
extern const std::array<shot_label, label_count> shot_labels;

// The label called `name`; none when there is no such label.
std::optional<int> label_index(std::string_view name);

// "title, warning, ..." for messages and the help text.
std::string label_list();

// The label of the shot each picture of data/ is cut from, by template_id.
extern const std::array<int, data_picture_count> picture_shot;

// Whether a shot shows the versus view (recognised by the first scene check).
inline bool is_versus(const shot_label& l) {
  return l.scene == 0;
}

}  // namespace pitchlog
