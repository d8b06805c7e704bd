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

}  // namespace pitchlog
