// pitchlog: watches a baseball game on this computer's screen and records the
// kinds of pitches every pitcher throws. With no arguments it watches the
// desktop; with --video SOURCE a capture device or a stream, in real time.
#include <iostream>
#include <string>

#include <opencv2/core/utility.hpp>

#include "control/capture/desktop_platform.h"
#include "control/capture/live_video.h"
#include "control/main_loop.h"

int main(int argc, char** argv) {
  // OpenCV works on this thread alone. pitchlog shares the machine with the
  // game: between pitches it matches small regions, where worker threads save
  // almost no time, and a pitch's ball search is short enough on one core,
  // which leaves the other core to the game.
  cv::setNumThreads(1);
  if (argc == 1) {
    return exit_code_of(pitchlog::run_pitchlog(pitchlog::desktop_platform(std::cout, std::cerr)));
  }
  if (argc == 3 && std::string(argv[1]) == "--video" && argv[2][0] != '\0') {
    pitchlog::platform p = pitchlog::desktop_platform(std::cout, std::cerr);
    p.source = pitchlog::live_video_source(argv[2], std::cerr);
    return exit_code_of(pitchlog::run_pitchlog(p));
  }
  std::cerr << "usage: pitchlog [--video SOURCE]\n";
  return 2;
}
