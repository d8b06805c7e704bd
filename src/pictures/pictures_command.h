#pragma once
// pitchlog-pictures: reference pictures from the user's own game, in three
// steps run in order: shoot the screens, cut the pictures, check them.
#include <iosfwd>

#include "pictures/pick_windows.h"

namespace pitchlog {

// Runs one command of the tool (argv[0] is the program); `drag` lets cut
// drag rectangles (none: no windows). Exit status: 0 done (check: every
// picture fits), 1 check found a misfiring picture or shoot's input ended
// early, 2 bad input or usage, after one line on `err`.
int run_pictures(int argc, const char* const* argv, std::istream& in, std::ostream& out,
                 std::ostream& err, const rectangle_drag& drag = {});

}  // namespace pitchlog
