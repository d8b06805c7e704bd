#pragma once
// `practice-game play`: the practice game in a real X11 window, in real time.

namespace practice {

// Runs "play [--seed N | --scenario FILE] [--x X --y Y] [--truth FILE]";
// argv[0] is "play". Returns the process exit code.
int run_play_command(int argc, char** argv);

}  // namespace practice
