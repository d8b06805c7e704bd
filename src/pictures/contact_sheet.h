#pragma once
// The contact sheet of a check: every shot's game picture with the regions of
// the checks that matter on it, where each picture matched best, and their
// scores, so that a misfiring picture shows where and why.
#include <opencv2/core/mat.hpp>

#include "pictures/check_pictures.h"

namespace pitchlog {

// One tile per shot: the game picture at half size (the whole shot when the
// game was not found), each judged check's region drawn in the colour of its
// verdict (green hit, grey miss, orange within the close margin, red a
// failure) with the place of its best match, and a list of the scores beside.
cv::Mat draw_contact_sheet(const check_report& report, const shot_set& shots);

}  // namespace pitchlog
