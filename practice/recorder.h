#pragma once
// `practice-game record`: a game of the practice game written as a video file,
// the game picture placed on a desktop of any size, with its truth log; what
// pitchlog-replay is tested and measured on.
#include <functional>
#include <string>

#include "practice/scenario.h"

namespace practice {

inline constexpr int record_fps = 30;

enum class video_codec { ffv1, h264, mjpg };

// The game time (ms) that frame `k` of a recording shows: trunc(k * 1000 / 30).
int64_t recorded_frame_ms(int64_t k);

// Writes the scenario as a video of its desktop at 30 frames per second
// through a temporary file beside `path`, renamed to `path` once whole, so that
// no half-written video is ever left under the name. `progress` (may be empty)
// gets the game time written so far. False, and why in `error`, on failure.
bool record_game(const scenario& game, const std::string& path, video_codec codec,
                 std::string& error, const std::function<void(int64_t ms)>& progress = {});

// Runs "record --seed N [--innings K] --out FILE --truth FILE [--codec
// ffv1|h264|mjpg] [--size WxH] [--x X --y Y]"; argv[0] is "record". Returns the
// process exit code.
int run_record_command(int argc, char** argv);

}  // namespace practice
