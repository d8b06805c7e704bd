#pragma once
// Whether the cut of a versus-view picture stays clear of what changes on the
// versus view while the picture must still match, and the cut to take where
// it does not.
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "pictures/changing_parts.h"

namespace pitchlog {

struct cut_clearance {
  template_id picture = template_id::versus_ground;
  cv::Rect cut;   // game-picture pixels, on the shot the picture is cut from
  cv::Mat avoid;  // the changes the picture must stay clear of (CV_8U, game size)
  // Each part that changes under the cut, with the box of its changes there.
  std::vector<std::pair<changing_part, cv::Rect>> under;
  // Where parts change under the cut: the largest cut clear of them that
  // passes the picture's own checks on every shot, inside the cut when one
  // does, else anywhere the picture may be cut. When none does, the largest
  // clear one inside the cut (or its area), with `passes` false.
  std::optional<cv::Rect> clear;
  bool passes = false;
};

// The clearance of picture `id` cut at `cut` from its shot, for the game
// picture W x H (`game`) at `origin` on every shot.
cut_clearance clear_of_changes(template_id id, const cv::Rect& cut, const changing_parts& changes,
                               const shot_set& shots, cv::Point origin, cv::Size game);

// What changes under the cut and the clear cut to take, for one line.
std::string clearance_text(const cut_clearance& clearance, const changing_parts& changes);

}  // namespace pitchlog
