#pragma once
// The contact sheet of a check: every shot's game picture with the regions of
// the checks that matter on it, where each picture matched best, and their
// scores, so that a misfiring picture shows where and why; and what changes
// under the cuts of the versus-view pictures.
#include <opencv2/core/mat.hpp>

#include "pictures/check_pictures.h"

namespace pitchlog {

// One tile per shot: the game picture at half size (the whole shot when the
// game was not found), each judged check's region drawn in the colour of its
// verdict (green hit, grey miss, orange within the close margin, red a
// failure) with the place of its best match, and a list of the scores beside.
// Under the tiles, a close-up of each versus-view picture's cut area on its
// own shot, enlarged, with what changes there hatched (red under the cut),
// the cut, and the clear cut check proposes where the cut covers a change.
cv::Mat draw_contact_sheet(const check_report& report, const shot_set& shots);

// The colour of what changes on the versus view, outside a cut.
inline const cv::Scalar change_hatch(200, 60, 220);

// Hatches `picture` where `changes` (a mask of its size) is set: diagonal
// stripes of `colour` between stripes of the picture's own colours darkened,
// which read as shading whatever those colours are.
void hatch(cv::Mat& picture, const cv::Mat& changes, const cv::Scalar& colour);

}  // namespace pitchlog
