// pitchlog: watches a baseball game on this computer's screen and records the
// kinds of pitches every pitcher throws. Wires the real desktop into the
// platform and runs the watcher.
#include <iostream>

#include <opencv2/core/utility.hpp>

#include "control/capture/desktop_platform.h"
#include "control/main_loop.h"

int main() {
  // OpenCV works on this thread alone. pitchlog shares the machine with the
  // game: between pitches it matches small regions, where worker threads save
  // almost no time, and a pitch's ball search is short enough on one core,
  // which leaves the other core to the game.
  cv::setNumThreads(1);
  return pitchlog::run_pitchlog(pitchlog::desktop_platform(std::cout, std::cerr));
}
