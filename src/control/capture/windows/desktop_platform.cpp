// The Windows desktop: the GDI grab, Sleep, standard input, the console's wide
// output, and the inspection windows of OpenCV's Win32 window toolkit.
#include "control/capture/desktop_platform.h"

#include <opencv2/highgui.hpp>

#include "control/capture/windows/gdi_grab.h"
#include "control/capture/windows/wide_text.h"

namespace pitchlog {

platform desktop_platform(std::ostream& console, std::ostream& error) {
  write_console_wide(console);
  platform p = console_platform(console, error);
  fill_windows_platform(p, error);
  // Windows always has a desktop to show windows on.
  p.show_image = [](const std::string& window, const cv::Mat& image) { cv::imshow(window, image); };
  p.wait_key = [] { cv::waitKey(0); };
  return p;
}

}  // namespace pitchlog
