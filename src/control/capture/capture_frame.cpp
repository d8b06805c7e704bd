#include "control/capture/capture_frame.h"

#include <opencv2/imgcodecs.hpp>

#include "control/capture/data_path.h"

namespace pitchlog {
namespace {

// A missing file is an ordinary outcome here (a picture not shipped, a name
// crop not yet cut): answer it with an empty image before the decoder would
// warn about it on standard error.
cv::Mat load(const std::string& path, int flags) {
  if (!regular_file_exists(path)) return cv::Mat();
  return cv::imread(path, flags);
}

}  // namespace

cv::Mat colour_load(const std::string& path) {
  return load(path, cv::IMREAD_COLOR);
}

cv::Mat as_stored_load(const std::string& path) {
  return load(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR);
}

cv::Mat capture_frame(const platform& p, capture_load how) {
  if (!capture_until_written(p)) return {};
  cv::Mat picture;
  if (p.source.grabbed_image(picture)) return picture;
  return how == capture_load::colour ? colour_load(capture_file_name)
                                     : as_stored_load(capture_file_name);
}

}  // namespace pitchlog
