// pitchlog-windows.so: the inspection windows through OpenCV's window toolkit.
// Built as a module of its own and loaded by pitchlog on first use.
#include "control/capture/linux/inspection_windows.h"

#include <opencv2/core.hpp>
#include <opencv2/highgui.hpp>

extern "C" int pitchlog_show_image(const char* window, int rows, int cols, int type,
                                   const void* pixels, std::size_t step) {
  try {
    cv::imshow(window, cv::Mat(rows, cols, type, const_cast<void*>(pixels), step));
    return 0;
  } catch (const cv::Exception&) {
    return -1;
  }
}

extern "C" int pitchlog_wait_key() {
  try {
    cv::waitKey(0);
    return 0;
  } catch (const cv::Exception&) {
    return -1;
  }
}
