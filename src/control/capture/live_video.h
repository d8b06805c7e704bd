#pragma once
// A live video as pitchlog's frame source: a capture device (/dev/videoN on
// Linux) or a stream FFmpeg reads (udp://127.0.0.1:PORT, srt://...), watched
// in real time.
#include <iosfwd>
#include <string>

#include "control/capture/frame_source.h"

namespace pitchlog {

// The source of `pitchlog --video SOURCE`, reporting on `error` (which must
// outlive it). Each capture takes the newest frame (those that arrived while
// the analysis ran are dropped, never queued), waiting only for one newer than
// the last capture's; the pause sleeps. A source that stalls or ends says so
// in one line on `error` and gives no more frames: the run ends as when the
// screen is lost.
frame_source live_video_source(const std::string& address, std::ostream& error);

// The live video itself, in video/live_video.cpp. On Linux live_video_source
// loads it from the module "pitchlog-video.so" beside the program, so that a
// run on the desktop maps none of OpenCV's video input (and FFmpeg's
// libraries with it); the tests link it directly.
frame_source make_live_video_source(const std::string& address, std::ostream& error);

// The module's entry: fills `source` by make_live_video_source. Both sides are
// built together by one compiler, so the struct passes as it is.
inline constexpr const char* live_video_module_file = "pitchlog-video.so";
inline constexpr const char* live_video_symbol = "pitchlog_live_video_source";
using live_video_entry = void (*)(const std::string& address, std::ostream& error,
                                  frame_source& source);

}  // namespace pitchlog
