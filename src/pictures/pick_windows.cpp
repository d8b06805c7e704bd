#include "pictures/pick_windows.h"

#include <cstdlib>

#include <opencv2/highgui.hpp>

namespace pitchlog {

rectangle_drag window_drag() {
  // Windows always has a desktop to show windows on; X11 needs a display.
#ifndef _WIN32
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return {};
#endif
  return [](const std::string& title, const cv::Mat& picture) -> std::optional<cv::Rect> {
    cv::namedWindow(title, cv::WINDOW_AUTOSIZE);
    const cv::Rect r = cv::selectROI(title, picture, true, false);
    cv::destroyWindow(title);
    cv::waitKey(1);
    if (r.empty()) return std::nullopt;
    return r;
  };
}

}  // namespace pitchlog
