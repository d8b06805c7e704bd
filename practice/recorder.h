#pragma once
// `practice-game record`: a game of the practice game written as a video file,
// the game picture placed on a desktop of any size, with its truth log; what
// pitchlog-replay is tested and measured on.
#include <functional>
#include <optional>
#include <string>

#include <opencv2/core/types.hpp>

#include "practice/scenario.h"

namespace practice {

inline constexpr int record_fps = 30;

enum class video_codec { ffv1, h264, mjpg };

// How the desktop is encoded: the codec, H.264's constant rate factor (the
// encoder's quality, 0 lossless to 51; unset: OpenCV's bit rate) and the
// scale the whole desktop is resized by before encoding (a desktop published
// at another size, or a capture card at its own resolution).
struct video_encoding {
  video_codec codec = video_codec::ffv1;
  std::optional<int> crf;
  double scale = 1.0;
};

// The size of a desktop of `width` x `height` recorded at `scale`: each side
// rounded to an even number of pixels, as yuv420p needs.
cv::Size recorded_size(int width, int height, double scale);

// The game time (ms) that frame `k` of a recording shows: trunc(k * 1000 / 30).
int64_t recorded_frame_ms(int64_t k);

// Writes the scenario as a video of its desktop at 30 frames per second
// through a temporary file beside `path`, renamed to `path` once whole, so that
// no half-written video is ever left under the name. `progress` (may be empty)
// gets the game time written so far. False, and why in `error`, on failure.
bool record_game(const scenario& game, const std::string& path, const video_encoding& encoding,
                 std::string& error, const std::function<void(int64_t ms)>& progress = {});

// Runs "record --seed N [--innings K] --out FILE --truth FILE [--codec
// ffv1|h264|mjpg] [--crf N] [--size WxH] [--scale S] [--x X --y Y]"; argv[0] is
// "record". Returns the process exit code.
int run_record_command(int argc, char** argv);

}  // namespace practice
