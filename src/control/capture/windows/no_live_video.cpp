// pitchlog.exe is built against an OpenCV without video input: a live video
// source refuses to open, saying so.
#include "control/capture/live_video.h"

namespace pitchlog {

frame_source live_video_source(const std::string& address, std::ostream&) {
  frame_source s;
  s.name = address;
  s.open = [](std::string& why) {
    why =
        "this build cannot watch a video (its OpenCV has no video input); --video works in "
        "the Linux build";
    return false;
  };
  return s;
}

}  // namespace pitchlog
