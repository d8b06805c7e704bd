// pitchlog-replay FILE: the watcher of pitchlog run on a recorded video in
// place of the desktop, in the video's own time and as fast as the analysis
// allows.
#include <iostream>
#include <string>

#include "control/capture/video/video_process.h"
#include "replay/replay_run.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]).empty() || argv[1][0] == '-') {
    std::cerr << "usage: pitchlog-replay FILE\n";
    return pitchlog::replay_exit_code(pitchlog::run_outcome::source_refused);
  }
  pitchlog::prepare_video_process();
  return pitchlog::replay_exit_code(pitchlog::replay_video(argv[1], std::cout, std::cerr));
}
