#pragma once
// The seam between pitchlog and the outside world: everything that grabs a
// frame, waits, shows windows or reads the keyboard goes through one
// `platform`, the frames through its `source`. src/main.cpp fills it with
// the real desktop; tests fill it with the practice game's desktop on a virtual
// clock, so whole runs need no display and no real sleeping. Every member starts with a harmless
// default (a grab that fails, a pause, a window and a key wait that do nothing, streams that
// discard), so no caller checks for a missing one. Free of OpenCV headers, so
// that the capture code builds alone for Windows.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

#include "control/capture/frame_source.h"

namespace cv {
class Mat;
}

namespace pitchlog {

// A stream that takes everything and keeps nothing.
std::ostream& discard_stream();

struct platform {
  // The frames: every capture of the run goes through this source.
  frame_source source;
  // Shows an image in a named window, creating the window on first use.
  std::function<void(const std::string& window, const cv::Mat& image)> show_image =
      [](const std::string&, const cv::Mat&) {};
  // Waits without time limit for a key in one of the shown windows.
  std::function<void()> wait_key = [] {};
  // Reads one character from standard input; end of input counts as one.
  std::function<void()> read_char = [] {};
  // The platform's clock in microseconds, never going back: a steady clock in
  // a live run, the virtual clock in a replay or on the practice desktop.
  // Reading it costs next to nothing, so it may be read where time matters
  // (between a finish pose and its burst); `time_text` writes a reading out
  // afterwards.
  std::function<int64_t()> now_us = [] { return int64_t{0}; };
  // A reading of `now_us` as a pitch is logged with it: the local wall clock
  // ("2026-12-08 14:03:12.345") in a live run, the time within the recording
  // ("0:12:34.567") in a replay. Empty: no time is logged.
  std::function<std::string(int64_t us)> time_text = [](int64_t) { return std::string(); };
  // The local wall clock now, as the log names the run with its start
  // ("2026-12-08 14:03:12.345"), in a live run and a replay alike. Empty: none.
  std::function<std::string()> wall_clock = [] { return std::string(); };
  // Console output (the report and the start-up message) and error lines.
  std::ostream* console = &discard_stream();
  std::ostream* error = &discard_stream();
};

// A real pause of the given milliseconds; 0 gives up the time slice.
void sleep_pause(int milliseconds);

// What a live run on either system takes from the process itself: `console`
// and `error`, a character from standard input and the clocks. The source and
// the windows are left for the system's desktop (or a live video) to fill.
platform console_platform(std::ostream& console, std::ostream& error);

}  // namespace pitchlog
