// The Windows desktop: the GDI grab, Sleep, standard input, and the inspection
// windows of OpenCV's Win32 window toolkit.
#include "control/capture/desktop_platform.h"

#include <chrono>
#include <iostream>

#include <opencv2/highgui.hpp>

#include "control/capture/clock_text.h"
#include "control/capture/windows/gdi_grab.h"

namespace pitchlog {

platform desktop_platform(std::ostream& console, std::ostream& error) {
  platform p;
  p.console = &console;
  p.error = &error;
  p.read_char = [] { std::cin.get(); };
  p.clock = [] { return wall_clock_text(std::chrono::system_clock::now()); };
  fill_windows_platform(p, error);
  // Windows always has a desktop to show windows on.
  p.show_image = [](const std::string& window, const cv::Mat& image) { cv::imshow(window, image); };
  p.wait_key = [] { cv::waitKey(0); };
  return p;
}

}  // namespace pitchlog
