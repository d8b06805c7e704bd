#pragma once
// Where pitchlog's frames come from: the desktop grab (X11 or GDI), the
// practice game's desktop, a recorded video in virtual time or a live video
// (a capture device or a stream) each fill one `frame_source`, and every
// capture of the run goes through it and through capture_frame. Every member
// starts with a harmless default (a grab that fails, a pause that does not
// wait), so no caller checks for a missing one. Free of OpenCV headers, so
// that the capture code builds alone for Windows.
#include <cstdint>
#include <functional>
#include <string>

namespace cv {
class Mat;
}

namespace pitchlog {

// One grab of the whole frame: 24-bit rows (blue, green, red), each row
// padded to ((3 * width + 3) / 4) * 4 bytes, the bottom row first unless
// `top_down` says the top row comes first (the file gets the bottom row first
// either way). The pixel memory belongs to the source and stays valid until
// its next grab.
struct screen_grab {
  int32_t width = 0;
  int32_t height = 0;
  const uint8_t* pixels = nullptr;
  bool top_down = false;  // rows in memory from the top row down
};

// Why a source gives no more frames, once a grab has failed.
enum class source_end {
  none,       // it has no end of its own: the screen is lost
  ended,      // a video came to its end
  broke_off,  // a video broke off, stalled or changed its frame size
};

struct frame_source {
  // What the source is called in messages: "the desktop", a file, a device
  // or a stream address.
  std::string name = "the desktop";
  // Opens the source before the run; false, with one line saying why in
  // `why`, when it cannot be watched. The desktop opens at its first grab.
  std::function<bool(std::string& why)> open = [](std::string&) { return true; };
  // Grabs the next frame into `grab`; false when no frame can be had (for a
  // video: it ended, broke off or stalled). The source says why on standard
  // error itself where that is not the program's to say (once, not at every
  // capture).
  std::function<bool(screen_grab& grab)> grab = [](screen_grab&) { return false; };
  // True only when the frame is known to show exactly what the last
  // successful grab returned (the display server reported no change since);
  // false whenever that is not certain.
  std::function<bool()> unchanged = [] { return false; };
  // True when the display server reported a change of the screen between the
  // grab before the last one and the last one (so the last grab may show a
  // change that was reported, such as one made just after `unchanged`
  // answered); false when it reported none, or has no reports.
  std::function<bool()> change_reported_before_grab = [] { return false; };
  // Hands over the picture "capture.bmp" was just written from, for a source
  // that holds it as an image already (a video), in place of reading the file
  // back, which would give the same pixels. False: the file is read back.
  std::function<bool(cv::Mat& picture)> grabbed_image = [](cv::Mat&) { return false; };
  // Pauses for the given number of milliseconds (0: give up the time slice):
  // a real sleep, or the source's virtual clock moved on.
  std::function<void(int milliseconds)> pause = [](int) {};
  // Why the last grab failed: asked once a capture cannot be loaded.
  std::function<source_end()> end = [] { return source_end::none; };
  // Lets go of the source (a device, a connection, a reader thread); called
  // once the run is over, and harmless twice.
  std::function<void()> close = [] {};
  // Whether a grab whose "capture.bmp" cannot be written is taken again after
  // its pause (in a live run another program may hold the file open for a
  // while), or fails as a capture that cannot be loaded.
  bool retries_unwritten_capture = true;
};

}  // namespace pitchlog
