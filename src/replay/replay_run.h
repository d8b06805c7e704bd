#pragma once
// pitchlog-replay's run: the watcher of pitchlog on a recorded video in place
// of the desktop, in the video's own time and as fast as the analysis allows.
// The working folder gets what a live run writes there; the progress and the
// one line on how the replay ended go to the error stream.
#include <iosfwd>
#include <string>

#include "control/exit_code.h"

namespace pitchlog {

// Opens the video at `path` (refused with one line on `err`), replays it with
// the reports on `out`, and says on `err` why it ended unless it was replayed
// whole or the watcher's start-up said so itself.
run_outcome replay_video(const std::string& path, std::ostream& out, std::ostream& err);

// pitchlog-replay's exit code for how its run ended: 0 replayed whole, 1
// text.txt unusable, 2 the video refused, 3 the video broke off, 4 replayed
// to the end past unread pitches, 5 the game never found, -1 otherwise.
constexpr int replay_exit_code(run_outcome outcome) {
  switch (outcome) {
    case run_outcome::video_ended:
      return 0;
    case run_outcome::report_file:
      return 1;
    case run_outcome::source_refused:
      return 2;
    case run_outcome::video_broke_off:
      return 3;
    case run_outcome::pitches_unread:
      return 4;
    case run_outcome::game_never_found:
      return 5;
    case run_outcome::picture_refused:
    case run_outcome::screen_lost:
    case run_outcome::inspected:  // never: a replay goes on past an unread pitch
      break;
  }
  return -1;
}

}  // namespace pitchlog
