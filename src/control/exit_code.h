#pragma once
// Every way a run ends on its own, with the process exit code it returns.

namespace pitchlog {

enum class exit_code : int {
  missing_picture = -1,  // a start-up picture is missing or cannot be used
  screen_lost = -1,      // the first capture of a locating attempt cannot be loaded
  report_file = 1,       // text.txt cannot be opened for writing
  inspected = 0,         // the burst of an unreadable inning half was shown and a key pressed
};

}  // namespace pitchlog
