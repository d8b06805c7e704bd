#pragma once
// One look at the source: grab a frame into "capture.bmp" and load that file
// back (or take the source's own picture of it), the one way every stage
// captures.
#include <string>

#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"
#include "control/capture/screen_capture.h"

namespace pitchlog {

// imread flag 1: 8-bit, three channels, whatever the file holds.
cv::Mat colour_load(const std::string& path);
// imread flag 6 (any depth | any colour): the file's depth and channels kept.
cv::Mat as_stored_load(const std::string& path);

// How a capture is loaded back: as stored (the stages' captures) or as 8-bit
// colour (the locator's refinement capture).
enum class capture_load { as_stored, colour };

// capture_until_written, then "capture.bmp" loaded (or the source's own
// picture of the grab it was written from, which holds the same pixels as
// either load of a 24-bit file); empty when it cannot be loaded.
cv::Mat capture_frame(const platform& p, capture_load load = capture_load::as_stored);

}  // namespace pitchlog
