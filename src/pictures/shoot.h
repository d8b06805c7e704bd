#pragma once
// Shooting the labelled screens: the user brings the game to each screen in
// turn and presses Enter; the desktop is grabbed as pitchlog grabs it and
// saved as "<label>.png".
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include <opencv2/core/mat.hpp>

#include "control/capture/platform.h"

namespace pitchlog {

// One grab of the desktop as a picture (BGR, top row first); empty with the
// reason in `why` when no grab is possible.
using desktop_shot = std::function<cv::Mat(std::string& why)>;

// The desktop of a grab, upright, in memory of its own.
cv::Mat grab_picture(const screen_grab& grab);

// A desktop_shot through the platform's grab, which reports why a grab
// fails on `grab_errors`.
desktop_shot platform_shot(const platform& p, std::ostringstream& grab_errors);

struct shoot_options {
  std::filesystem::path dir;
  std::vector<int> labels;  // in order; empty: every label not shot yet
  int delay_ms = 0;         // between Enter and the grab
};

// Asks for each screen on one line of `out`, reads one line of `in` per
// screen (empty: shoot, anything else: skip) and saves each shot. 0 when
// the walk is done (skipped screens are listed), 1 when the input ends
// before it, 2 after one line on `err` when the folder cannot be made or
// the desktop cannot be grabbed or saved.
int run_shoot(const shoot_options& options, const desktop_shot& shoot, std::istream& in,
              std::ostream& out, std::ostream& err);

// Copies a screenshot made elsewhere (any picture format the image library
// reads) into the folder as "<label>.png". 0, or 2 after one line on `err`.
int run_import(const std::filesystem::path& dir, int label, const std::filesystem::path& file,
               std::ostream& out, std::ostream& err);

}  // namespace pitchlog
