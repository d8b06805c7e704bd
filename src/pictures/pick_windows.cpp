#include "pictures/pick_windows.h"

#include <cstdlib>

#include <opencv2/highgui.hpp>

namespace pitchlog {

bool windows_available() {
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
}

std::optional<cv::Rect> drag_rectangle(const std::string& title, const cv::Mat& picture) {
  cv::namedWindow(title, cv::WINDOW_AUTOSIZE);
  const cv::Rect r = cv::selectROI(title, picture, true, false);
  cv::destroyWindow(title);
  cv::waitKey(1);
  if (r.empty()) return std::nullopt;
  return r;
}

}  // namespace pitchlog
