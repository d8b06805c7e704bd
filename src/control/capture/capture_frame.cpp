#include "control/capture/capture_frame.h"

#include <opencv2/imgcodecs.hpp>

#include "control/capture/data_path.h"

namespace pitchlog {
namespace {

// A missing file is an ordinary outcome here (a picture not shipped, a name
// crop not yet cut): answer it with an empty image before the decoder would
// warn about it on standard error. A name the loader's own file calls cannot
// open (Japanese on Windows) is read by the platform's and decoded from
// memory; every other, "capture.bmp" among them, is loaded directly, which
// costs a tenth of the CPU time for a whole desktop.
cv::Mat load(const std::string& path, int flags) {
  if (!regular_file_exists(path)) return cv::Mat();
  if (image_loader_opens(path)) return cv::imread(path, flags);
  std::string bytes;
  if (!read_whole_file(path, bytes) || bytes.empty()) return cv::Mat();
  return cv::imdecode(cv::Mat(1, static_cast<int>(bytes.size()), CV_8U, bytes.data()), flags);
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
