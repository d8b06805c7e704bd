// capture-overhead.exe: the capture overhead of pitchlog.exe beyond its pause,
// measured inside a Windows process: the GDI grab, "capture.bmp" written with
// KERNEL32 and loaded back with OpenCV, as every capture of pitchlog does.
// Prints the median wall time in milliseconds of 60 captures after one that
// warms up; exit code 1 when a capture cannot be loaded.
//
// With --period the captures keep pitchlog.exe's own 60 ms pause (the
// system's Sleep), so the figure is the spacing of a burst's frames.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string_view>
#include <vector>

#include <opencv2/core/utility.hpp>

#include "control/capture/capture_frame.h"
#include "control/capture/windows/gdi_grab.h"

int main(int argc, char** argv) {
  const bool period = argc == 2 && std::string_view(argv[1]) == "--period";
  if (argc > 1 && !period) {
    std::fputs("usage: capture-overhead.exe [--period]\n", stderr);
    return 2;
  }
  cv::setNumThreads(1);  // as pitchlog.exe
  pitchlog::platform p;
  pitchlog::fill_windows_platform(p, std::cerr);
  if (!period) p.source.pause = [](int) {};
  constexpr int repeats = 60;
  std::vector<double> times;
  for (int i = 0; i <= repeats; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (pitchlog::capture_frame(p).empty()) return 1;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (i > 0) times.push_back(took.count());
  }
  std::sort(times.begin(), times.end());
  std::printf("%.3f\n", (times[repeats / 2 - 1] + times[repeats / 2]) / 2.0);
  return 0;
}
