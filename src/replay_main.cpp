// pitchlog-replay FILE: the watcher of pitchlog run on a recorded video in
// place of the desktop, in the video's own time and as fast as the analysis
// allows.
#include <iostream>
#include <string>

#include "control/capture/video/video_process.h"
#include "replay/replay_run.h"
#ifdef _WIN32
#include "control/capture/windows/wide_text.h"
#endif

int main(int argc, char** argv) {
  using pitchlog::run_outcome;
  if (argc != 2 || std::string(argv[1]).empty() || argv[1][0] == '-') {
    std::cerr << "usage: pitchlog-replay FILE\n";
    return 2;
  }
  pitchlog::prepare_video_process();
#ifdef _WIN32
  // The reports reach a console window as Unicode text, whatever its code page.
  pitchlog::write_console_wide(std::cout);
#endif
  switch (pitchlog::replay_video(argv[1], std::cout, std::cerr)) {
    case run_outcome::video_ended:
      return 0;  // replayed whole
    case run_outcome::report_file:
      return 1;
    case run_outcome::source_refused:
      return 2;
    case run_outcome::video_broke_off:
      return 3;
    case run_outcome::pitches_unread:
      return 4;  // replayed to the end, some pitches' inning half unread
    case run_outcome::game_never_found:
      return 5;
    case run_outcome::picture_refused:
    case run_outcome::screen_lost:
    case run_outcome::inspected:  // a replay goes on past an unread pitch
      break;
  }
  return -1;
}
