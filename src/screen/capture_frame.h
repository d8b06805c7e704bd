#pragma once
// One look at the screen: grab it into "capture.bmp" and load that file back.
#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"
#include "control/capture/screen_capture.h"
#include "control/templates/template_store.h"

namespace pitchlog {

// capture_until_written, then "capture.bmp" loaded as stored (or the
// platform's own picture of the grab it was written from); empty when it
// cannot be loaded.
inline cv::Mat capture_frame(const platform& p) {
  if (!capture_until_written(p)) return {};
  cv::Mat picture;
  if (p.grabbed_image(picture)) return picture;
  return as_stored_load(capture_file_name);
}

}  // namespace pitchlog
