#pragma once
// `practice-game play`: the practice game in a real X11 window, in real time;
// `practice-game show`: one view at a time in the same window.
#include <functional>
#include <string>

#include "practice/game_view.h"

namespace practice {

// Runs "play [--seed N | --scenario FILE] [--x X --y Y] [--truth FILE]";
// argv[0] is "play". Returns the process exit code.
int run_play_command(int argc, char** argv);

// Reads the view named by one line of standard input; false with the reason.
using view_parser =
    std::function<bool(const std::string& line, game_view& view, std::string& error)>;

// Runs "show [--x X --y Y]" (argv[0] is "show"): for every line of standard
// input, shows the view it names (or hides the window for "hide") and answers
// "shown" (or "hidden") once the X server has drawn it. Ends at the end of
// input with 0; 1 when no window can be made, 2 for a bad line.
int run_show_command(int argc, char** argv, const view_parser& parse);

}  // namespace practice
