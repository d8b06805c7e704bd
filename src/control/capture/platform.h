#pragma once
// The seam between pitchlog and the outside world: everything that grabs the
// screen, waits, shows windows or reads the keyboard goes through one
// `platform`. src/main.cpp fills it with the real desktop; tests fill it with
// the practice game's desktop on a virtual clock, so whole runs need no display
// and no real sleeping. Every member starts with a harmless default (a grab
// that fails, a pause, a window and a key wait that do nothing, streams that
// discard), so no caller checks for a missing one. Free of OpenCV headers, so
// that the capture code builds alone for Windows.
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace cv {
class Mat;
}

namespace pitchlog {

// One grab of the whole primary screen: 24-bit rows (blue, green, red), each
// row padded to ((3 * width + 3) / 4) * 4 bytes, the bottom row first unless
// `top_down` says the top row comes first (the file gets the bottom row first
// either way). The pixel memory belongs to the grabber and stays valid until
// its next grab.
struct screen_grab {
  int32_t width = 0;
  int32_t height = 0;
  const uint8_t* pixels = nullptr;
  bool top_down = false;  // rows in memory from the top row down
};

// A stream that takes everything and keeps nothing.
std::ostream& discard_stream();

struct platform {
  // Grabs the screen into `grab`; false when no grab is possible. The grabber
  // says why on standard error itself (once, not at every capture).
  std::function<bool(screen_grab& grab)> grab_screen = [](screen_grab&) { return false; };
  // True only when the screen is known to show exactly what the last
  // successful grab returned (the display server reported no change since);
  // false whenever that is not certain.
  std::function<bool()> screen_unchanged = [] { return false; };
  // True when the display server reported a change of the screen between the
  // grab before the last one and the last one (so the last grab may show a
  // change that was reported, such as one made just after screen_unchanged
  // answered); false when it reported none, or has no reports.
  std::function<bool()> change_reported_before_grab = [] { return false; };
  // Pauses for the given number of milliseconds (0: give up the time slice).
  std::function<void(int milliseconds)> pause = [](int) {};
  // Shows an image in a named window, creating the window on first use.
  std::function<void(const std::string& window, const cv::Mat& image)> show_image =
      [](const std::string&, const cv::Mat&) {};
  // Waits without time limit for a key in one of the shown windows.
  std::function<void()> wait_key = [] {};
  // Reads one character from standard input; end of input counts as one.
  std::function<void()> read_char = [] {};
  // Hands over the picture "capture.bmp" was just written from, for a
  // platform that holds it as an image already (a recorded video), in place of
  // reading the file back, which would give the same pixels. False: the file
  // is read back.
  std::function<bool(cv::Mat& picture)> grabbed_image = [](cv::Mat&) { return false; };
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
  // Whether a grab whose "capture.bmp" cannot be written is taken again after
  // its pause (in a live run another program may hold the file open for a
  // while), or fails as a capture that cannot be loaded.
  bool retries_unwritten_capture = true;
  // Console output (the report and the start-up message) and error lines.
  std::ostream* console = &discard_stream();
  std::ostream* error = &discard_stream();
};

// What a live run on either system takes from the process itself: `console`
// and `error`, a character from standard input and the clocks. The grab, the
// pause and the windows are left for the system's desktop to fill.
platform console_platform(std::ostream& console, std::ostream& error);

}  // namespace pitchlog
