// pitchlog: watches a baseball game on this computer's screen and records the
// kinds of pitches every pitcher throws. This file fills the platform with the
// real desktop, clock, console and windows, and runs the watcher.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include <opencv2/core/utility.hpp>
#include <opencv2/highgui.hpp>
#include <opencv2/imgcodecs.hpp>

#include "control/main_loop.h"
#include "control/platform.h"

#ifdef _WIN32
#include "control/gdi_grab.h"
#else
#include "control/x11_grab.h"
#endif

namespace {

// Without a display the inspection windows become files and the key wait a
// read from standard input, so the main loop works the same either way.
void use_image_files(pitchlog::platform& p) {
  p.show_image = [](const std::string& window, const cv::Mat& image) {
    cv::imwrite(window + ".png", image);
  };
  p.wait_key = [] {
    std::cerr << "pitchlog: no display; the burst is in src_img1.png to src_img11.png in the "
                 "working folder; press Enter to end."
              << std::endl;
    std::cin.get();
  };
}

void use_windows(pitchlog::platform& p) {
  p.show_image = [](const std::string& window, const cv::Mat& image) { cv::imshow(window, image); };
  p.wait_key = [] { cv::waitKey(0); };
}

// Windows always has a desktop to show windows on; on Linux, DISPLAY says.
bool has_display() {
#ifdef _WIN32
  return true;
#else
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && *display != '\0';
#endif
}

}  // namespace

int main() {
  // OpenCV works on this thread alone. pitchlog shares the machine with the
  // game: between pitches it matches small regions, where worker threads save
  // almost no time, and a pitch's ball search is short enough on one core,
  // which leaves the other core to the game.
  cv::setNumThreads(1);

  pitchlog::platform p;
  p.console = &std::cout;
  p.error = &std::cerr;
  p.read_char = [] { std::cin.get(); };

#ifdef _WIN32
  pitchlog::gdi_grab_buffer buffer;
  pitchlog::fill_windows_platform(p, buffer, std::cerr);
#else
  p.grab_screen = pitchlog::make_x11_grab(std::cerr);
  p.pause = [](int milliseconds) {
    if (milliseconds == 0) {
      std::this_thread::yield();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
  };
#endif
  if (has_display()) {
    use_windows(p);
  } else {
    use_image_files(p);
  }

  return pitchlog::run_pitchlog(p);
}
